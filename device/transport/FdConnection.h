#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

#include "device/transport/HidBackend.h"

namespace talyx {

// A HidConnection over a file descriptor that delivers one report per read(): a hidraw
// node, or a SOCK_SEQPACKET socket of the virtual bus.
//
// read() and write() first try the descriptor without waiting, then wait with poll() on it
// and on an eventfd; cancel() signals the eventfd, so a call waiting in another thread
// returns Cancelled at once and every later call does too. Nothing is left pending: a report either arrived and was
// copied, or it stays in the kernel for the next read. Errors of the system are
// translated here, with the node's name for the debug text.
class FdConnection : public HidConnection {
public:
    // Takes ownership of fd. `node` names it in debug texts. valid() is false when the
    // eventfd cannot be made.
    FdConnection(int fd, std::string node);
    ~FdConnection() override;
    FdConnection(const FdConnection&) = delete;
    FdConnection& operator=(const FdConnection&) = delete;

    bool valid() const { return m_fd >= 0 && m_cancelFd >= 0; }

    // Blocks up to timeoutMs (negative: forever). Ok with got > 0; TimedOut; Cancelled;
    // Gone on end of file or hang-up (the device or the bus peer went away); IoError.
    HidStatus read(uint8_t* buffer, size_t len, size_t& got, int timeoutMs) override;
    // Blocks up to timeoutMs for the descriptor to take the report. A hidraw write itself
    // waits in the kernel until the device took the report; cancel cannot shorten that.
    HidStatus write(const uint8_t* buffer, size_t len, size_t& written, int timeoutMs) override;
    void cancel() override;

protected:
    // Sees each report as it came off the descriptor and may rewrite it. Returns false
    // to drop it. The default keeps every report.
    virtual bool accept(std::vector<uint8_t>& report);

private:
    // Ok when the descriptor is ready for `events`.
    HidStatus waitFor(short events, int64_t deadlineMs, const char* call);
    // One report if one is there, without waiting (-1 and errno as read(2) otherwise).
    ssize_t takeNow(uint8_t* buffer, size_t len);

    int m_fd;
    int m_cancelFd;
    std::string m_node;
    std::vector<uint8_t> m_buffer;
    bool m_socket = false;
    std::atomic<bool> m_cancelled{false};
};

} // namespace talyx
