#pragma once

namespace tarnwell {

// Spacing of every page, in device-independent pixels.
struct WorkspaceLayout {
    static constexpr int maxContentWidth = 1040;
    static constexpr int pageHorizontalPadding = 24;
    static constexpr int pageTopPadding = 20;
    static constexpr int pageBottomPadding = 34;
    static constexpr int sectionSpacing = 18;
    static constexpr int splitLeadingWidth = 330;
    static constexpr int sidebarWidth = 200;
    // Inner padding of panels and cards, and the gap between their rows.
    static constexpr int panelPadding = 14;
    static constexpr int rowSpacing = 8;
};

} // namespace tarnwell
