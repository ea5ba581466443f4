#pragma once
// A minimal monitor stand-in for the simulator's tests: a raw blocking TCP socket and a strict
// frame reader of its own, so the simulator is checked against neither its own code nor the
// monitor's.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace simtest {

using Bytes = std::vector<uint8_t>;
using Ms = std::chrono::milliseconds;

// A loopback address of this test's own (127.50-99.x.y), so that tests run in parallel.
inline std::string TestAddress()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    uint32_t h = 2166136261u;
    for (char c : name)
        h = (h ^ uint8_t(c)) * 16777619u;
    return "127." + std::to_string(50 + h % 50) + "." + std::to_string((h / 50) % 256) + "." +
           std::to_string(1 + (h / 12800) % 254);
}

struct Frame {
    uint8_t Spare = 0, Type = 0, Check = 0;
    Bytes Payload;
};

inline Bytes FrameBytes(uint8_t type, const Bytes& payload = {}, uint8_t spare = 0, uint8_t check = 0)
{
    Bytes b(payload.size() + 7);
    b[0] = 0x02;
    b[1] = spare;
    b[2] = 0x0D;
    b[3] = type;
    b[4] = uint8_t(payload.size());
    std::copy(payload.begin(), payload.end(), b.begin() + 5);
    b[payload.size() + 5] = check;
    b[payload.size() + 6] = 0x03;
    return b;
}

inline Bytes F32(float v)
{
    Bytes b(4);
    std::memcpy(b.data(), &v, 4); // the test machine is little-endian, as the wire is
    return b;
}
inline float ReadF32(const Bytes& b, size_t at)
{
    float v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
inline int32_t ReadI32(const Bytes& b, size_t at)
{
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

class RawClient {
public:
    ~RawClient() { Close(); }

    // Connects, retrying for a while: the listener may just be reopening.
    bool Connect(const std::string& address, uint16_t port, Ms bound = Ms(3000))
    {
        auto end = std::chrono::steady_clock::now() + bound;
        do {
            Close();
            m_fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            inet_pton(AF_INET, address.c_str(), &a.sin_addr);
            if (::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                int one = 1;
                setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                return true;
            }
            LastError = errno;
            Close();
            poll(nullptr, 0, 10);
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }
    // One attempt; errno of the failure in LastError.
    bool ConnectOnce(const std::string& address, uint16_t port) { return Connect(address, port, Ms(0)); }

    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_buf.clear();
        m_pos = 0;
        Closed = false;
    }

    bool Send(const Bytes& b)
    {
        return m_fd >= 0 && ::send(m_fd, b.data(), b.size(), MSG_NOSIGNAL) == ssize_t(b.size());
    }
    bool SendText(const std::string& s) { return Send(Bytes(s.begin(), s.end())); }
    bool SendFrame(uint8_t type, const Bytes& payload = {}) { return Send(FrameBytes(type, payload)); }
    bool SendFrameText(uint8_t type, const std::string& s)
    {
        return SendFrame(type, Bytes(s.begin(), s.end()));
    }

    // Waits up to `bound` for more bytes; false on time-out or when the peer closed.
    bool ReadSome(Ms bound)
    {
        if (m_fd < 0 || Closed)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, int(bound.count())) <= 0)
            return false;
        uint8_t tmp[4096];
        ssize_t n = ::recv(m_fd, tmp, sizeof tmp, 0);
        if (n <= 0) {
            Closed = true;
            return false;
        }
        ++Reads;
        m_buf.insert(m_buf.end(), tmp, tmp + n);
        Received.insert(Received.end(), tmp, tmp + n);
        if (FrameOpen())
            ++ReadsEndingInsideFrame;
        return true;
    }

    // The next well-formed frame (of `type`, or any type for -1), skipping everything else.
    std::optional<Frame> NextFrame(int type = -1, Ms bound = Ms(3000))
    {
        auto end = std::chrono::steady_clock::now() + bound;
        for (;;) {
            while (auto f = ParseOne()) {
                if (type < 0 || f->Type == type)
                    return f;
            }
            auto left = std::chrono::duration_cast<Ms>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(left))
                return std::nullopt;
        }
    }

    // Raw text up to and including `terminator` (bootloader mode), or nullopt on time-out.
    std::optional<std::string> ReadUntil(const std::string& terminator, Ms bound = Ms(3000))
    {
        auto end = std::chrono::steady_clock::now() + bound;
        for (;;) {
            std::string s(m_buf.begin() + long(m_pos), m_buf.end());
            if (auto at = s.find(terminator); at != std::string::npos) {
                m_pos += at + terminator.size();
                return s.substr(0, at + terminator.size());
            }
            auto left = std::chrono::duration_cast<Ms>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(left))
                return std::nullopt;
        }
    }

    // True when nothing at all arrives for `window` (for "the device stays quiet" checks).
    bool QuietFor(Ms window)
    {
        size_t before = m_buf.size();
        auto end = std::chrono::steady_clock::now() + window;
        while (std::chrono::steady_clock::now() < end) {
            auto left = std::chrono::duration_cast<Ms>(end - std::chrono::steady_clock::now());
            if (!ReadSome(left))
                break;
        }
        return m_buf.size() == before;
    }

    // Waits for the peer to close the connection.
    bool WaitClosed(Ms bound = Ms(3000))
    {
        auto end = std::chrono::steady_clock::now() + bound;
        while (!Closed && std::chrono::steady_clock::now() < end)
            ReadSome(std::chrono::duration_cast<Ms>(end - std::chrono::steady_clock::now()));
        return Closed;
    }

    size_t Unread() const { return m_buf.size() - m_pos; }

    Bytes Received;                 // everything that arrived
    int Reads = 0;                  // recv calls that returned data
    int ReadsEndingInsideFrame = 0; // of those, how many left a frame incomplete
    int SkippedBytes = 0;           // bytes outside any well-formed frame
    int BadMarkers = 0, BadLengths = 0, BadEnds = 0;
    bool Closed = false;
    int LastError = 0;

private:
    // Is the buffer's tail a frame that has begun but not ended?
    bool FrameOpen() const
    {
        for (size_t i = m_buf.size(); i-- > m_pos;) {
            if (m_buf[i] != 0x02)
                continue;
            size_t have = m_buf.size() - i;
            if (have < 5)
                return true;
            return have < size_t(m_buf[i + 4]) + 7 && m_buf[i + 2] == 0x0D && m_buf[i + 4] <= 128;
        }
        return false;
    }

    std::optional<Frame> ParseOne()
    {
        while (m_pos < m_buf.size()) {
            if (m_buf[m_pos] != 0x02) {
                ++m_pos;
                ++SkippedBytes;
                continue;
            }
            size_t have = m_buf.size() - m_pos;
            if (have < 5)
                return std::nullopt;
            const uint8_t* p = m_buf.data() + m_pos;
            if (p[2] != 0x0D) {
                ++BadMarkers;
                ++m_pos;
                ++SkippedBytes;
                continue;
            }
            if (p[4] > 128) {
                ++BadLengths;
                ++m_pos;
                ++SkippedBytes;
                continue;
            }
            size_t n = p[4];
            if (have < n + 7)
                return std::nullopt;
            if (p[n + 6] != 0x03) {
                ++BadEnds;
                ++m_pos;
                ++SkippedBytes;
                continue;
            }
            Frame f;
            f.Spare = p[1];
            f.Type = p[3];
            f.Payload.assign(p + 5, p + 5 + n);
            f.Check = p[5 + n];
            m_pos += n + 7;
            return f;
        }
        return std::nullopt;
    }

    int m_fd = -1;
    Bytes m_buf;
    size_t m_pos = 0;
};

} // namespace simtest
