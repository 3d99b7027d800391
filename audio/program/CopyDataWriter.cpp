#include "audio/program/CopyDataWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <dbus/dbus.h>

#include "platform/Product.h"

namespace talyx {
namespace {

constexpr int kGreetingTimeoutMs = 2000;

// A Unix socket connected to the first entry of the address that is one.
int connectTo(const char* address, std::string& error) {
    DBusAddressEntry** entries = nullptr;
    int count = 0;
    DBusError e;
    dbus_error_init(&e);
    if (!dbus_parse_address(address, &entries, &count, &e)) {
        error = e.message ? e.message : "bad bus address";
        dbus_error_free(&e);
        return -1;
    }
    int fd = -1;
    for (int i = 0; i < count && fd < 0; ++i) {
        if (std::strcmp(dbus_address_entry_get_method(entries[i]), "unix") != 0)
            continue;
        const char* path = dbus_address_entry_get_value(entries[i], "path");
        const char* abstract = dbus_address_entry_get_value(entries[i], "abstract");
        const char* name = path ? path : abstract;
        sockaddr_un at{};
        if (!name || std::strlen(name) + 1 >= sizeof at.sun_path)
            continue;
        at.sun_family = AF_UNIX;
        // An abstract name starts with a zero byte and is not terminated.
        const size_t offset = path ? 0 : 1;
        std::memcpy(at.sun_path + offset, name, std::strlen(name));
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + std::strlen(name) + (path ? 1 : 0));
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&at), length) != 0) {
            close(fd);
            fd = -1;
        }
    }
    dbus_address_entries_free(entries);
    if (fd < 0 && error.empty())
        error = "no Unix socket in the bus address";
    return fd;
}

bool writeAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// One line of the authentication exchange, without its "\r\n".
bool readLine(int fd, std::string& line) {
    line.clear();
    while (line.size() < 512) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kGreetingTimeoutMs) <= 0)
            return false;
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        line += c;
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
            line.resize(line.size() - 2);
            return true;
        }
    }
    return false;
}

void putSerial(uint8_t* message, uint32_t serial) {
    // The serial is the header's third field, in the byte order the message names.
    const bool little = message[0] == 'l';
    for (int i = 0; i < 4; ++i)
        message[8 + i] = static_cast<uint8_t>(serial >> (8 * (little ? i : 3 - i)));
}

// A call laid out by the bus library, as bytes.
bool marshal(DBusMessage* m, uint32_t serial, std::vector<uint8_t>& out) {
    dbus_message_set_serial(m, serial);
    char* bytes = nullptr;
    int length = 0;
    if (!dbus_message_marshal(m, &bytes, &length))
        return false;
    out.insert(out.end(), bytes, bytes + length);
    dbus_free(bytes);
    return true;
}

} // namespace

DBusMessage* NewCopyDataCall(const std::string& owner, uint32_t kind, const uint8_t* data, size_t size) {
    DBusMessage* call = dbus_message_new_method_call(owner.c_str(), kBusPath, kBusInterface, "CopyData");
    if (!call)
        return nullptr;
    // Nothing comes of an answer, so none is asked for: the program and the bus do half
    // the work, and the recorder is not woken once more for every frame.
    dbus_message_set_no_reply(call, TRUE);
    dbus_message_set_auto_start(call, FALSE);
    const dbus_uint32_t dwData = kind;
    // wParam would be the sender's window handle; there is none, so 0.
    const dbus_uint64_t wParam = 0;
    const int length = static_cast<int>(size);
    if (!dbus_message_append_args(call, DBUS_TYPE_UINT32, &dwData, DBUS_TYPE_UINT64, &wParam, DBUS_TYPE_ARRAY,
                                  DBUS_TYPE_BYTE, &data, length, DBUS_TYPE_INVALID)) {
        dbus_message_unref(call);
        return nullptr;
    }
    return call;
}

CopyDataWriter::CopyDataWriter(pa_mainloop_api* api) : m_api(api) {}

CopyDataWriter::~CopyDataWriter() {
    drop();
}

void CopyDataWriter::drop() {
    if (m_event)
        m_api->io_free(m_event);
    m_event = nullptr;
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    m_out.clear();
    m_written = 0;
}

uint32_t CopyDataWriter::nextSerial() {
    // Serials run on from 1 and are never 0.
    if (++m_serial == 0)
        m_serial = 1;
    return m_serial;
}

bool CopyDataWriter::Connect(const std::string& owner, std::string& error) {
    drop();
    // The bus library's own rule: the address in the environment, else the user's bus
    // socket in the runtime folder.
    std::string address = std::getenv("DBUS_SESSION_BUS_ADDRESS") ? std::getenv("DBUS_SESSION_BUS_ADDRESS") : "";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (address.empty() && runtime && *runtime)
        address = std::string("unix:path=") + runtime + "/bus";
    if (address.empty()) {
        error = "no bus address";
        return false;
    }
    const int fd = connectTo(address.c_str(), error);
    if (fd < 0)
        return false;
    // Authentication as the user the kernel vouches for, then the greeting.
    std::string request(1, '\0');
    request += "AUTH EXTERNAL ";
    static const char digits[] = "0123456789abcdef";
    for (char c : std::to_string(getuid())) {
        request += digits[static_cast<uint8_t>(c) >> 4];
        request += digits[static_cast<uint8_t>(c) & 15];
    }
    request += "\r\n";
    std::string answer;
    if (!writeAll(fd, request.data(), request.size()) || !readLine(fd, answer) || answer.compare(0, 3, "OK ") != 0) {
        error = "the bus refused the authentication";
        close(fd);
        return false;
    }
    m_serial = 0;
    std::vector<uint8_t> greeting = {'B', 'E', 'G', 'I', 'N', '\r', '\n'};
    DBusMessage* hello = dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello");
    const bool said = hello && marshal(hello, nextSerial(), greeting);
    if (hello)
        dbus_message_unref(hello);
    // The frame's call, once: its serial and bytes are filled in for each frame.
    const std::array<uint8_t, kAudioFrameBytes> blank{};
    DBusMessage* frame = NewCopyDataCall(owner, kAudioDataFrame, blank.data(), blank.size());
    m_frameCall.clear();
    const bool laid = frame && marshal(frame, 1, m_frameCall) && m_frameCall.size() > 16 + kAudioFrameBytes;
    if (frame)
        dbus_message_unref(frame);
    if (!said || !laid || !writeAll(fd, greeting.data(), greeting.size())) {
        error = "the greeting could not be sent";
        close(fd);
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_fd = fd;
    m_owner = owner;
    m_out.reserve(4096);
    m_event = m_api->io_new(m_api, fd, PA_IO_EVENT_INPUT, &CopyDataWriter::onIo, this);
    return m_event != nullptr;
}

bool CopyDataWriter::QueueFrame(const std::array<uint8_t, kAudioFrameBytes>& frame) {
    if (m_fd < 0 || m_out.size() - m_written > kMaxQueuedBytes)
        return false;
    const size_t at = m_out.size();
    m_out.insert(m_out.end(), m_frameCall.begin(), m_frameCall.end());
    uint8_t* call = m_out.data() + at;
    putSerial(call, nextSerial());
    // The byte array is the last argument, so its bytes end the call.
    std::memcpy(call + m_frameCall.size() - kAudioFrameBytes, frame.data(), kAudioFrameBytes);
    return true;
}

bool CopyDataWriter::QueueState(const std::vector<uint8_t>& state) {
    if (m_fd < 0)
        return false;
    DBusMessage* call = NewCopyDataCall(m_owner, kAudioDataState, state.data(), state.size());
    const bool ok = call && marshal(call, nextSerial(), m_out);
    if (call)
        dbus_message_unref(call);
    return ok;
}

void CopyDataWriter::Flush() {
    while (m_fd >= 0 && m_written < m_out.size()) {
        const ssize_t n = send(m_fd, m_out.data() + m_written, m_out.size() - m_written, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            m_written += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The rest goes when the socket takes it.
            m_api->io_enable(m_event, static_cast<pa_io_event_flags_t>(PA_IO_EVENT_INPUT | PA_IO_EVENT_OUTPUT));
            return;
        } else {
            std::fprintf(stderr, "talyx-audio: the data connection to the bus is lost\n");
            drop();
            return;
        }
    }
    m_out.clear();
    m_written = 0;
}

void CopyDataWriter::onIo(pa_mainloop_api*, pa_io_event* e, int fd, pa_io_event_flags_t events, void* self) {
    auto* w = static_cast<CopyDataWriter*>(self);
    if (events & PA_IO_EVENT_INPUT) {
        // The greeting's answer and the bus's word on our name: nothing needed.
        uint8_t scratch[1024];
        for (;;) {
            const ssize_t n = read(fd, scratch, sizeof scratch);
            if (n > 0)
                continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                w->drop();
                return;
            }
            if (errno != EINTR)
                break;
        }
    }
    if (events & (PA_IO_EVENT_HANGUP | PA_IO_EVENT_ERROR)) {
        w->drop();
        return;
    }
    if (events & PA_IO_EVENT_OUTPUT) {
        w->m_api->io_enable(e, PA_IO_EVENT_INPUT);
        w->Flush();
    }
}

} // namespace talyx
