#include "transport/http_buffer.h"

#include <cstring>

CHttpBuffer::CHttpBuffer() : m_data(m_inline), m_size(0), m_capacity(kInline) { m_inline[0] = 0; }

char* CHttpBuffer::Reserve(size_t n) {
    if (m_capacity - m_size < n) {
        // Geometric growth: a response read in 2 KiB pieces must not be
        // copied once per piece.
        size_t wanted = m_size + n;
        size_t capacity = m_capacity * 2;
        if (capacity < wanted) capacity = wanted;
        std::unique_ptr<char[]> heap(new char[capacity + 1]);
        std::memcpy(heap.get(), m_data, m_size + 1);
        m_heap = std::move(heap);
        m_data = m_heap.get();
        m_capacity = capacity;
    }
    return m_data + m_size;
}

void CHttpBuffer::Commit(size_t n) {
    m_size += n;
    m_data[m_size] = 0;
}

void CHttpBuffer::Append(const char* data, size_t n) {
    std::memmove(Reserve(n), data, n);
    Commit(n);
}

void CHttpBuffer::Truncate(size_t pos) {
    if (pos < m_size) m_size = pos;
    m_data[m_size] = 0;
}
