#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>

namespace tarnwell::testing {

// One way an editor is installed and started: the desktop entry's ID and Exec line, and a command
// that starts it for the given seconds. A shape without an ID starts something else through a
// wrapper or launcher that an editor uses.
struct LaunchShape {
    QString id;
    QByteArray exec;
    QList<QString> command;
    // Starting it needs bwrap to make a sandbox.
    bool sandboxed = false;
};

// Installs below root the programs and scripts of the shapes editors start in on Linux, bin standing
// for the shared program folder on the search path, each program a copy of shapeProgram (which
// plays every part). Returns the shapes, or nothing when a file could not be written.
inline QList<LaunchShape> installLaunchShapes(const QString& root, const QString& bin,
                                              const QString& shapeProgram, const QString& lasting) {
    const QByteArray folder = QFile::encodeName(root);
    bool written = true;
    const auto install = [&](const QString& path) {
        written = written && QDir().mkpath(QFileInfo(path).path()) && QFile::copy(shapeProgram, path);
    };
    const auto script = [&](const QString& path, const QByteArray& content) {
        QFile file(path);
        written = written && QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
                  file.write(content) == content.size() &&
                  file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    for (const char* program :
         {"/opt/plain/bin/plain", "/opt/plain/libexec/render", "/opt/wrapped/bin/wrapped",
          "/opt/waiting/bin/waiting", "/opt/offloaded/bin/offloaded", "/opt/game/bin/game",
          "/usr/bin/launcher", "/snap/snapped/x1/bin/snapped", "/Apps/Imaged.AppImage",
          "/tmp/.mount_ab12/usr/bin/imaged", "/usr/lib/quick/quick", "/usr/lib/slow/slow",
          "/opt/sandboxed/bin/sandboxed", "/opt/loose/bin/loose", "/Apps/Loose.AppImage"}) {
        install(root + QString::fromLatin1(program));
    }
    // A tarball's wrapper, a distribution's in the shared folder, one that takes its time before
    // exec, one that waits for the editor, an editor that is a script, and a wrapper of any program.
    script(root + "/opt/wrapped/wrapped.sh", "#!/bin/sh\nexec \"$(dirname \"$0\")/bin/wrapped\" \"$@\"\n");
    script(bin + "/quick", "#!/bin/sh\nexec " + folder + "/usr/lib/quick/quick \"$@\"\n");
    script(bin + "/slow",
           "#!/bin/sh\nprogram=" + folder + "/usr/lib/slow/slow\nsleep 0.3\nexec \"$program\" \"$@\"\n");
    script(root + "/opt/waiting/waiting.sh",
           "#!/bin/sh\n\"$(dirname \"$0\")/bin/waiting\" \"$@\"\nexit $?\n");
    script(bin + "/scripted", "#!/usr/bin/perl\nselect(undef, undef, undef, $ARGV[1]);\n");
    script(bin + "/offload", "#!/bin/sh\nexec \"$@\"\n");
    // A Flatpak run: an instance folder, the sandbox, and the file saying that it runs.
    script(root + "/sandbox-info", "[Application]\nname=org.example.Sandboxed\n");
    script(bin + "/flatpak",
           "#!/bin/sh\ninstance=" + folder +
               "/run/.flatpak/$$\nmkdir -p $instance\n"
               "(sleep 0.05; echo '{}' > $instance/bwrapinfo.json) &\n"
               "exec bwrap --ro-bind /usr /usr --symlink usr/lib /lib --symlink usr/lib64 /lib64 "
               "--symlink usr/bin /bin --ro-bind " +
               folder + " " + folder + " --ro-bind " + folder +
               "/sandbox-info /.flatpak-info --proc /proc --dev /dev -- " + folder +
               "/opt/sandboxed/bin/sandboxed \"$@\"\n");
    written = written && QDir().mkpath(root + "/run/.flatpak") && QDir().mkpath(root + "/snap/bin") &&
              QFile::link(root + "/usr/bin/launcher", root + "/snap/bin/snapped") &&
              QFile::link(QStringLiteral("x1"), root + "/snap/snapped/current");
    if (!written) {
        return {};
    }
    const QString mount = root + "/tmp/.mount_ab12";
    const QByteArray plain = folder + "/opt/plain/bin/plain";
    return {
        {"org.example.Plain", plain + " %F", {root + "/opt/plain/bin/plain", "sleep", lasting}},
        {"org.example.Wrapped",
         folder + "/opt/wrapped/wrapped.sh",
         {root + "/opt/wrapped/wrapped.sh", "sleep", lasting}},
        {"org.example.Quick", "quick", {bin + "/quick", "sleep", lasting}},
        {"org.example.Slow", "slow %F", {bin + "/slow", "sleep", lasting}},
        {"org.example.Waiting",
         folder + "/opt/waiting/waiting.sh",
         {root + "/opt/waiting/waiting.sh", "sleep", lasting}},
        {"org.example.Scripted", "scripted", {bin + "/scripted", "sleep", lasting}},
        {"org.example.Offloaded",
         "offload " + folder + "/opt/offloaded/bin/offloaded",
         {bin + "/offload", root + "/opt/offloaded/bin/offloaded", "sleep", lasting}},
        {"snapped_snapped",
         folder + "/snap/bin/snapped %U",
         {root + "/snap/bin/snapped", "dispatch", "sleep", lasting}},
        {"org.example.Imaged",
         folder + "/Apps/Imaged.AppImage",
         {root + "/Apps/Imaged.AppImage", "runtime", mount, "usr/bin/imaged", "spawn", "0.2",
          mount + "/usr/bin/imaged", "sleep", lasting}},
        {"org.example.Sandboxed",
         "flatpak run org.example.Sandboxed",
         {bin + "/flatpak", "sleep", lasting},
         true},
        // Chosen as a program or a portable image that no desktop entry runs.
        {root + "/opt/loose/bin/loose", {}, {root + "/opt/loose/bin/loose", "sleep", lasting}},
        {root + "/Apps/Loose.AppImage",
         {},
         {root + "/Apps/Loose.AppImage", "runtime", mount, "usr/bin/imaged", "sleep", lasting}},
        // Workers of its own outlive the main process; a shell it opens outlives them all.
        {"org.example.Plain",
         plain + " %F",
         {root + "/opt/plain/bin/plain", "spawn", "0.2", root + "/opt/plain/bin/plain", "sleep", "0.4", "+",
          root + "/opt/plain/libexec/render", "sleep", "0.6", "+", "/bin/sh", "-c", "sleep 1.2"}},
        {{}, {}, {bin + "/offload", root + "/opt/game/bin/game", "sleep", lasting}},
        {{}, {}, {root + "/usr/bin/launcher", "sleep", lasting}},
    };
}

} // namespace tarnwell::testing
