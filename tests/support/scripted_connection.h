// An in-memory connection for tests, fuzzing and benchmarks: reads hand out
// scripted pieces (at most maxRead bytes at a time), writes are recorded.
#pragma once

#include <cstring>
#include <deque>
#include <string>

#include "transport/connection.h"

class CScriptedConnection final : public IConnection {
public:
    enum class Kind { kData, kClosed, kFail };

    void Push(std::string data) { m_steps.push_back({Kind::kData, std::move(data)}); }
    void PushClosed() { m_steps.push_back({Kind::kClosed, std::string()}); }
    void PushFail() { m_steps.push_back({Kind::kFail, std::string()}); }
    // Longest piece one read returns (0: no limit).
    void SetMaxRead(size_t n) { m_maxRead = n; }
    void SetRefuseConnect(bool refuse) { m_refuse = refuse; }
    void SetWriteLimit(size_t n) { m_writeLimit = n; }

    bool ConnectTo(const char* host, uint16_t port) override {
        if (m_connected) return true;
        ++connects;
        lastHost = host;
        lastPort = port;
        m_connected = !m_refuse;
        return m_connected;
    }
    bool Write(const ConstBuffer* buffers, size_t count, size_t* sent) override {
        *sent = 0;
        if (!m_connected) return false;
        for (size_t i = 0; i < count; ++i) {
            size_t n = buffers[i].size;
            if (m_writeLimit && n > m_writeLimit) n = m_writeLimit;
            written.append(buffers[i].data, n);
            *sent += n;
        }
        return true;
    }
    // An exhausted script behaves like a peer that stays silent: time-out.
    bool Read(char* buffer, size_t* size) override {
        ++reads;
        if (!m_connected || m_steps.empty()) return false;
        Step& step = m_steps.front();
        if (step.kind != Kind::kData) {
            Kind kind = step.kind;
            m_steps.pop_front();
            *size = 0;
            return kind == Kind::kClosed;
        }
        size_t n = step.data.size() - m_offset;
        if (n > *size) n = *size;
        if (m_maxRead && n > m_maxRead) n = m_maxRead;
        std::memcpy(buffer, step.data.data() + m_offset, n);
        m_offset += n;
        if (m_offset == step.data.size()) {
            m_steps.pop_front();
            m_offset = 0;
        }
        *size = n;
        return true;
    }
    void Close() override {
        if (m_connected) ++closes;
        m_connected = false;
    }
    bool IsConnected() const override { return m_connected; }
    int LastError() const override { return 0; }
    void SetTimeout(uint32_t ms) override { timeout = ms; }

    std::string written;
    std::string lastHost;
    uint16_t lastPort = 0;
    int connects = 0;
    int closes = 0;
    int reads = 0;
    uint32_t timeout = 0;

private:
    struct Step {
        Kind kind;
        std::string data;
    };
    std::deque<Step> m_steps;
    size_t m_offset = 0;
    size_t m_maxRead = 0;
    size_t m_writeLimit = 0;
    bool m_connected = false;
    bool m_refuse = false;
};
