// The input devices of this system through libevdev: classification by capabilities,
// grabs, and the virtual keyboard (uinput) that passes lock keys on.
#include "inputhook/EvdevInputBackend.h"

#ifdef TALYX_HAVE_LIBEVDEV

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <ctime>

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

namespace talyx {
namespace {

class LibevdevSystem : public EvdevSystem {
public:
    explicit LibevdevSystem(std::string root) : m_root(std::move(root)) {}
    ~LibevdevSystem() override { CloseLockKeys(); }

    std::string Root() const override { return m_root; }

    int Open(const std::string& path) override {
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            // Time stamps on the monotonic clock, as the program's own clock.
            int clock = CLOCK_MONOTONIC;
            ioctl(fd, EVIOCSCLOCKID, &clock);
        }
        return fd;
    }

    void Close(int fd) override { close(fd); }

    Kind Classify(int fd) override {
        libevdev* dev = nullptr;
        if (libevdev_new_from_fd(fd, &dev) < 0)
            return Kind::Other;
        Kind kind = Kind::Other;
        if (libevdev_has_event_code(dev, EV_KEY, KEY_A) && libevdev_has_event_code(dev, EV_KEY, KEY_SPACE))
            kind = Kind::Keyboard;
        else if (libevdev_has_event_code(dev, EV_KEY, BTN_LEFT) && libevdev_has_event_code(dev, EV_REL, REL_X))
            kind = Kind::Mouse;
        libevdev_free(dev);
        return kind;
    }

    bool AnyKeyDown(int fd) override {
        unsigned char keys[KEY_MAX / 8 + 1] = {};
        if (ioctl(fd, EVIOCGKEY(sizeof keys), keys) < 0)
            return false;
        for (unsigned char byte : keys)
            if (byte)
                return true;
        return false;
    }

    bool Grab(int fd, bool on) override { return ioctl(fd, EVIOCGRAB, on ? 1 : 0) == 0; }

    bool OpenLockKeys() override {
        if (m_uinput)
            return true;
        libevdev* dev = libevdev_new();
        libevdev_set_name(dev, "TALYX lock keys");
        for (int code : {KEY_CAPSLOCK, KEY_NUMLOCK, KEY_SCROLLLOCK})
            libevdev_enable_event_code(dev, EV_KEY, static_cast<unsigned>(code), nullptr);
        const int rc = libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &m_uinput);
        libevdev_free(dev);
        if (rc < 0)
            m_uinput = nullptr;
        return m_uinput != nullptr;
    }

    void EmitLockKey(int code, bool down) override {
        if (!m_uinput)
            return;
        libevdev_uinput_write_event(m_uinput, EV_KEY, static_cast<unsigned>(code), down ? 1 : 0);
        libevdev_uinput_write_event(m_uinput, EV_SYN, SYN_REPORT, 0);
    }

    void CloseLockKeys() override {
        if (m_uinput)
            libevdev_uinput_destroy(m_uinput);
        m_uinput = nullptr;
    }

private:
    std::string m_root;
    libevdev_uinput* m_uinput = nullptr;
};

} // namespace

std::unique_ptr<InputHookBackend> MakeEvdevInputBackend() {
    return std::make_unique<EvdevInputBackend>(std::make_unique<LibevdevSystem>("/dev/input"));
}

} // namespace talyx

#else

namespace talyx {

std::unique_ptr<InputHookBackend> MakeEvdevInputBackend() {
    return nullptr;
}

} // namespace talyx

#endif
