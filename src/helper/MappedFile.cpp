#include "helper/MappedFile.h"

#include <sys/mman.h>

MappedFile::MappedFile(int fd, off_t size) {
    if (size == 0) {
        m_valid = true;
        return;
    }
    void* data = ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (data == MAP_FAILED)
        return;
    m_data = data;
    m_size = qsizetype(size);
    m_valid = true;
}

MappedFile::~MappedFile() {
    if (m_data)
        ::munmap(m_data, size_t(m_size));
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : m_data(other.m_data), m_size(other.m_size), m_valid(other.m_valid) {
    other.m_data = nullptr;
    other.m_size = 0;
}
