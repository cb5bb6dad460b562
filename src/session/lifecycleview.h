#pragma once
// What loading and unloading the program needs from the main window.

namespace tarnivel {

class LifecycleView
{
public:
    virtual ~LifecycleView() = default;
    virtual void closeSplash() = 0;
    // Apply the preferences just read (colours, fonts, placement, window state, switches,
    // peer column). left/top are the stored window position as read.
    virtual void applyPreferences(float left, float top) = 0;
    // No usable settings file: centre the window for its design size, then half the screen,
    // storing the resulting placement in the preferences; apply the default look.
    virtual void applyDefaultPreferences() = 0;
    virtual void showWindow() = 0;
    virtual void applyTopmost() = 0;
    virtual void openDirectoryList() = 0;
    // Before saving: the window state now, and the position to store (the live one when the
    // window is normal, the last normal one otherwise).
    virtual void capturePlacement(float &left, float &top) = 0;
};

} // namespace tarnivel
