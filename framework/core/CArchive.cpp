#include "CArchive.h"

#include <QIODevice>

namespace {
constexpr qsizetype kBufferSize = 4096;
}

CArchive::CArchive() : m_mode(store) {}

CArchive::CArchive(QByteArray bytes) : m_mode(load), m_bytes(std::move(bytes)) {}

CArchive::CArchive(QIODevice* device) : m_mode(load), m_device(device) {}

void CArchive::require(qsizetype n) {
    if (m_bytes.size() - m_pos >= n) {
        return;
    }
    if (m_device != nullptr) {
        m_bytes.remove(0, m_pos);
        m_pos = 0;
        while (m_bytes.size() < n) {
            const QByteArray more = m_device->read(kBufferSize);
            if (more.isEmpty()) {
                break;
            }
            m_bytes.append(more);
        }
    }
    if (m_bytes.size() - m_pos < n) {
        throw CArchiveException(CArchiveException::endOfFile);
    }
}

CArchive& CArchive::operator<<(std::uint16_t w) {
    m_bytes.append(static_cast<char>(w & 0xFF));
    m_bytes.append(static_cast<char>(w >> 8));
    return *this;
}

CArchive& CArchive::operator<<(std::uint8_t b) {
    m_bytes.append(static_cast<char>(b));
    return *this;
}

CArchive& CArchive::operator>>(std::uint16_t& w) {
    require(2);
    const auto lo = static_cast<std::uint8_t>(m_bytes[m_pos]);
    const auto hi = static_cast<std::uint8_t>(m_bytes[m_pos + 1]);
    w = static_cast<std::uint16_t>(lo | (hi << 8));
    m_pos += 2;
    return *this;
}

CArchive& CArchive::operator>>(std::uint8_t& b) {
    require(1);
    b = static_cast<std::uint8_t>(m_bytes[m_pos]);
    ++m_pos;
    return *this;
}

CArchive& CArchive::Write(const char* data, qsizetype n) {
    m_bytes.append(data, n);
    return *this;
}

QByteArray CArchive::Read(qsizetype n) {
    require(n);
    QByteArray block = m_bytes.mid(m_pos, n);
    m_pos += n;
    return block;
}
