#pragma once

#include "ui/window/MainWindowSection.h"

#include <functional>

class QWidget;

namespace tarnwell {

class TarnwellContainer;

// Builds the page of one section from the container; the window asks for a page the first time
// its section is shown. A page plugs in with one line in create().
class MainWindowPages {
public:
    using Factory = std::function<QWidget*(MainWindowSection, TarnwellContainer*)>;

    static QWidget* create(MainWindowSection section, TarnwellContainer* container);
};

} // namespace tarnwell
