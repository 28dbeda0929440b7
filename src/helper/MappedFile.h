#pragma once

#include <QByteArrayView>

#include <sys/types.h>

// A whole regular file mapped read-only, its pages populated at once: a
// large hosts file is scanned and written out without a copy of its own.
// The view lives as long as this object.
class MappedFile {
public:
    // `fd` must be a regular file of `size` bytes; an empty one maps nothing.
    MappedFile(int fd, off_t size);
    ~MappedFile();
    MappedFile(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile& operator=(MappedFile&&) = delete;

    bool isValid() const { return m_valid; }
    QByteArrayView view() const { return {static_cast<const char*>(m_data), m_size}; }

private:
    void* m_data = nullptr;
    qsizetype m_size = 0;
    bool m_valid = false;
};
