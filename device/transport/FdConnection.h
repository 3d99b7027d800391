#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/transport/HidBackend.h"

namespace talyx {

// A HidConnection over a file descriptor that delivers one report per read(): a hidraw
// node, or a SOCK_SEQPACKET socket of the virtual bus.
//
// read() and write() wait with poll() on the descriptor and on an eventfd; cancel()
// signals the eventfd, so a call waiting in another thread returns -1 at once and every
// later call does too. Nothing is left pending: a report either arrived and was copied,
// or it stays in the kernel for the next read.
class FdConnection : public HidConnection {
public:
    // Takes ownership of fd. valid() is false when the eventfd cannot be made.
    explicit FdConnection(int fd);
    ~FdConnection() override;
    FdConnection(const FdConnection&) = delete;
    FdConnection& operator=(const FdConnection&) = delete;

    bool valid() const { return m_fd >= 0 && m_cancelFd >= 0; }

    // Blocks up to timeoutMs (negative: forever). Returns the byte count copied (> 0),
    // 0 on time-out, -1 on cancel, error, or a device that went away (end of file,
    // hang-up).
    int read(uint8_t* buffer, size_t len, int timeoutMs) override;
    // Blocks up to timeoutMs for the descriptor to take the report. Returns the byte
    // count, 0 on time-out, -1 on cancel or error. A hidraw write itself waits in the
    // kernel until the device took the report; cancel cannot shorten that part.
    int write(const uint8_t* buffer, size_t len, int timeoutMs) override;
    void cancel() override;

protected:
    // Sees each report as it came off the descriptor and may rewrite it. Returns false
    // to drop it (another collection's report). The default keeps every report.
    virtual bool accept(std::vector<uint8_t>& report);

private:
    enum class WaitResult { Ready, TimedOut, Cancelled, Failed };
    WaitResult waitFor(short events, int64_t deadlineMs);
    // In the connection's result codes: 1 ready, 0 timed out, -1 cancelled or failed.
    static int waitResultCode(WaitResult result);

    int m_fd;
    int m_cancelFd;
    std::vector<uint8_t> m_buffer;
};

} // namespace talyx
