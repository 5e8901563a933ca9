#pragma once

#include <string>

namespace tarnwell {

// Mounting and unmounting through UDisks2, which does both for users who are not root.
class UDisksMounting {
public:
    struct Answer {
        enum class Outcome {
            // The service did not answer: the tool goes on as it would without it.
            Unavailable,
            Done,
            Failed,
        };
        Outcome outcome = Outcome::Unavailable;
        // The service's D-Bus error name ("" when the failure is the tool's own) and message.
        std::string errorName;
        std::string message;

        bool operator==(const Answer&) const = default;

        // The failure in the user's terms. Every refusal by the authorisation policy, whether or
        // not a password could have changed it, says that the user may not do this.
        std::string reason(const std::string& operation) const {
            if (errorName.starts_with("org.freedesktop.UDisks2.Error.NotAuthorized")) {
                return "you are not allowed to " + operation + " this volume (UDisks2: " + message + ")";
            }
            return message;
        }
        bool isBusy() const {
            return errorName == "org.freedesktop.UDisks2.Error.DeviceBusy" ||
                   message.find("busy") != std::string::npos;
        }
    };

    virtual ~UDisksMounting() = default;
    // Both without asking the user for a password: the tool runs without a terminal.
    virtual Answer mount(const std::string& devicePath) = 0;
    virtual Answer unmount(const std::string& devicePath) = 0;
};

} // namespace tarnwell
