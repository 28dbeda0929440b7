#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <cstddef>
#include <cstring>
#include <iterator>
#include <vector>

// Host names as the lines of one text, each ending in a line feed: a list of
// 100,000 names costs its own bytes and no object a name. Copies share the
// text.
class NameLines {
public:
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = QByteArrayView;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = QByteArrayView;

        Iterator() = default;
        Iterator(const char* at, const char* end) : m_at(at), m_end(end) { findLineEnd(); }
        QByteArrayView operator*() const { return {m_at, m_lineEnd}; }
        Iterator& operator++() {
            m_at = m_lineEnd + 1;
            findLineEnd();
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const Iterator& other) const { return m_at == other.m_at; }

    private:
        void findLineEnd() {
            const void* found =
                m_at < m_end ? std::memchr(m_at, '\n', size_t(m_end - m_at)) : nullptr;
            m_lineEnd = found ? static_cast<const char*>(found) : m_end;
        }
        const char* m_at = nullptr;
        const char* m_end = nullptr;
        const char* m_lineEnd = nullptr;
    };

    NameLines() = default;
    // The lines of `text` from `from` on; that part is empty or ends in a
    // line feed.
    explicit NameLines(QByteArray text, qsizetype from = 0)
        : m_text(std::move(text)), m_from(from) {}
    static NameLines of(const QStringList& names);

    Iterator begin() const { return {text().begin(), text().end()}; }
    Iterator end() const { return {text().end(), text().end()}; }
    bool isEmpty() const { return m_text.size() <= m_from; }
    qsizetype count() const;
    QByteArrayView text() const { return QByteArrayView(m_text).sliced(m_from); }

    // The names in byte order, each once, as places in text(): none when
    // they are in that order already, as the window sends them. A place
    // costs 8 bytes, a third of what a copy of a short name would.
    std::vector<quint64> sortedPlaces() const;
    QByteArrayView at(quint64 place) const {
        return text().sliced(qsizetype(place >> 16), qsizetype(place & 0xffff));
    }

private:
    QByteArray m_text;
    qsizetype m_from = 0;
};
