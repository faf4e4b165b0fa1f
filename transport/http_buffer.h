// The response buffer: one contiguous, NUL-terminated byte run whose first
// 4096 bytes live inside the object, so a typical SOAP answer costs no heap
// allocation and its body can be handed on without a copy.
#pragma once

#include <cstddef>
#include <memory>

class CHttpBuffer {
public:
    static constexpr size_t kInline = 4096;

    CHttpBuffer();
    CHttpBuffer(const CHttpBuffer&) = delete;
    CHttpBuffer& operator=(const CHttpBuffer&) = delete;

    const char* Data() const { return m_data; }
    char* Data() { return m_data; }
    size_t Size() const { return m_size; }
    size_t Capacity() const { return m_capacity; }

    // Room for at least n more bytes after Size(); returns where they go.
    // Throws std::bad_alloc when the heap refuses.
    char* Reserve(size_t n);
    // Marks n bytes written at the position Reserve returned.
    void Commit(size_t n);
    void Append(const char* data, size_t n);
    // Drops everything from pos on.
    void Truncate(size_t pos);
    void Clear() { Truncate(0); }

private:
    char m_inline[kInline + 1];
    std::unique_ptr<char[]> m_heap;
    char* m_data;
    size_t m_size;
    size_t m_capacity;  // bytes usable, not counting the NUL
};
