#pragma once

#include <cstdint>
#include <tuple>

// The process-wide device settings: compiled-in defaults for the standard device, the window
// geometry from the command line and everything else from the device profile. Written only
// during start-up, read-only afterwards.
struct DeviceConfig
{
    int32_t keyHome;
    int32_t keyEscape;
    int32_t keyEnter;
    int32_t keyClose;
    int32_t keyZoomIn;
    int32_t keyZoomOut;
    int32_t keyLeft;
    int32_t keyRight;
    int32_t keyDown;
    int32_t keyUp;
    int32_t keyOpen;
    int32_t softkeyFrameCount;
    bool softkeyFramesOnSide;
    int32_t softkeysPerFrame;
    int32_t windowHeight;
    int32_t windowWidth;
    int32_t deviceType;
    int32_t windowY;
    int32_t windowX;

    // Values of NO_OF_SOFTKEY_FRAMES below 2 all mean a single frame.
    bool hasTwoSoftkeyFrames() const { return softkeyFrameCount >= 2; }

    static DeviceConfig defaults();

private:
    // Ahead of operator==, which cannot use its deduced type before it.
    auto tied() const
    {
        return std::tie(keyHome, keyEscape, keyEnter, keyClose, keyZoomIn, keyZoomOut, keyLeft,
                        keyRight, keyDown, keyUp, keyOpen, softkeyFrameCount, softkeyFramesOnSide,
                        softkeysPerFrame, windowHeight, windowWidth, deviceType, windowY, windowX);
    }

public:
    // Field by field: a field added to the record and to tied() is compared wherever records
    // are.
    bool operator==(const DeviceConfig &other) const { return tied() == other.tied(); }
};

extern DeviceConfig deviceConfig;
