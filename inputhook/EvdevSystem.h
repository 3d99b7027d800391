#pragma once

#include <string>

namespace talyx {

// What the evdev backend asks of the system, so that a test can stand in for the input
// devices with pipes. Every call may block only briefly; none is made from two threads at
// once.
class EvdevSystem {
public:
    enum class Kind { Other, Keyboard, Mouse };
    virtual ~EvdevSystem() = default;
    // The folder of the event nodes ("event0", "event1", ...), watched for new ones.
    virtual std::string Root() const = 0;
    // Opens a node for non-blocking reads of input_event records; -1 (errno set) when it
    // cannot be opened.
    virtual int Open(const std::string& path) = 0;
    virtual void Close(int fd) = 0;
    // What the device is, by what it can report: keys of a keyboard, or a mouse's buttons
    // and motion.
    virtual Kind Classify(int fd) = 0;
    // Whether any key of the device is held now.
    virtual bool AnyKeyDown(int fd) = 0;
    // Takes (or gives back) the device for this program alone. False when refused.
    virtual bool Grab(int fd, bool on) = 0;
    // The virtual keyboard through which lock keys of a grabbed keyboard are passed on.
    // Open is false when it cannot be made (no write access to uinput).
    virtual bool OpenLockKeys() = 0;
    virtual void EmitLockKey(int code, bool down) = 0;
    virtual void CloseLockKeys() = 0;
};

} // namespace talyx
