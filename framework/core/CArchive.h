#pragma once

#include <QByteArray>

class QIODevice;

#include <cstdint>
#include <exception>

// Thrown by a loading archive when a value needs more bytes than are left.
class CArchiveException : public std::exception {
  public:
    enum Cause { endOfFile = 3 };
    explicit CArchiveException(Cause cause) : m_cause(cause) {}
    Cause cause() const { return m_cause; }
    const char* what() const noexcept override { return "unexpected end of archive"; }

  private:
    Cause m_cause;
};

// A raw binary archive: 16-bit words and bytes, little-endian, no tags, counts or schema.
// A storing archive collects the bytes in memory; the caller writes them out in one piece, so a
// failed save never leaves half a recipe behind. A loading archive reads from an open device through
// a 4096-byte buffer, taking only the bytes the values ask for.
class CArchive {
  public:
    enum Mode { store = 0, load = 1 };

    // Storing archive.
    CArchive();
    // Loading archive over the given bytes.
    explicit CArchive(QByteArray bytes);
    // Loading archive over an open, readable device (not owned).
    explicit CArchive(QIODevice* device);

    bool IsStoring() const { return m_mode == store; }
    bool IsLoading() const { return m_mode == load; }

    CArchive& operator<<(std::uint16_t w);
    CArchive& operator<<(std::uint8_t b);
    CArchive& operator>>(std::uint16_t& w);
    CArchive& operator>>(std::uint8_t& b);
    // A block of raw bytes as they are: appended (storing archive), or the next n taken, throwing when fewer
    // are left (loading archive).
    CArchive& Write(const char* data, qsizetype n);
    QByteArray Read(qsizetype n);

    // The bytes stored so far (storing archive).
    const QByteArray& bytes() const { return m_bytes; }

  private:
    // Makes n bytes available at m_pos, refilling from the device; throws at the end of the data.
    void require(qsizetype n);

    Mode m_mode;
    QIODevice* m_device = nullptr;
    QByteArray m_bytes;
    qsizetype m_pos = 0;
};
