// Arbitrary bytes as a recipe file, read the way the window and kavo-cli read one (CKAVODoc::LoadFile), and
// the same bytes through an in-memory loading archive.
//
// Properties: a file of 360 bytes or more loads its first 360 bytes exactly (storing the recipe again gives
// them back); a shorter, non-empty file fails with "Unexpected file format." and leaves a new recipe; an
// empty file loads nothing and leaves the recipe as it was. Never modified afterwards.

#include "CArchive.h"
#include "CKAVODoc.h"
#include "FuzzSupport.h"

#include <QByteArray>
#include <QString>

namespace {

constexpr std::size_t kFileSize = 360; // 120 masks of 2 bytes, then 120 levels of 1 byte

QByteArray Stored(CKAVODoc& doc) {
    CArchive ar;
    doc.Serialize(ar);
    return ar.bytes();
}

std::string Hex(const QByteArray& b) {
    return b.left(48).toHex(' ').toStdString() + (b.size() > 48 ? " ..." : "");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = fuzz::MakeScratchDir("recipe");
    static const std::string file = dir + "/recipe.aid";
    static const QByteArray newRecipe = [] {
        CKAVODoc d;
        return Stored(d);
    }();
    fuzz::WriteFile(file, data, size);
    const QByteArray head(reinterpret_cast<const char*>(data),
                          static_cast<qsizetype>(std::min(size, kFileSize)));

    CKAVODoc doc;
    doc.OnAllLedOn(); // an edited recipe, so that "left as it was" and "reset to new" differ
    const QByteArray before = Stored(doc);
    QString error;
    const bool ok = doc.LoadFile(QString::fromStdString(file), &error);
    const QByteArray after = Stored(doc);

    FUZZ_CHECK(!doc.IsModified(), "%zu bytes: the recipe is left modified", size);
    FUZZ_CHECK(after.size() == static_cast<qsizetype>(kFileSize), "%zu bytes: the recipe stores %lld bytes",
               size, static_cast<long long>(after.size()));
    if (size == 0) {
        FUZZ_CHECK(ok, "empty file: %s", qPrintable(error));
        FUZZ_CHECK(after == before, "empty file changed the recipe");
    } else if (size < kFileSize) {
        FUZZ_CHECK(!ok, "%zu bytes loaded as a whole recipe", size);
        FUZZ_CHECK(error == QLatin1String("Unexpected file format."), "%zu bytes: message '%s'", size,
                   qPrintable(error));
        FUZZ_CHECK(after == newRecipe, "%zu bytes: not reset to a new recipe: %s", size, Hex(after).c_str());
    } else {
        FUZZ_CHECK(ok, "%zu bytes: %s", size, qPrintable(error));
        FUZZ_CHECK(after == head, "%zu bytes: stored %s, file %s", size, Hex(after).c_str(),
                   Hex(head).c_str());
        FUZZ_CHECK(doc.GetTitle() == QLatin1String("recipe.aid"), "title '%s'", qPrintable(doc.GetTitle()));
    }

    // The same bytes from memory: the archive runs out exactly when the file is short.
    CKAVODoc mem;
    CArchive ar(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    bool ranOut = false;
    try {
        mem.Serialize(ar);
    } catch (const CArchiveException&) {
        ranOut = true;
    }
    FUZZ_CHECK(ranOut == (size < kFileSize), "%zu bytes: in-memory archive ran out: %d", size, ranOut);
    if (!ranOut) {
        FUZZ_CHECK(Stored(mem) == head, "%zu bytes: in-memory load differs from the file", size);
    }
    return 0;
}
