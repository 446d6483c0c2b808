// Arbitrary bytes as a recipe file, read the way the window reads one (CKAVODoc::LoadFile), the way kavo-cli
// reads one (ReadRecipeFile), and decoded from memory (DecodeAid).
//
// Properties: bytes of 360 or more decode from their first 360 exactly (encoding the recipe again gives them
// back); fewer do not decode. A file of 360 bytes or more loads that recipe both ways; a shorter, non-empty
// file fails both ways with "<file> is N bytes; a recipe file is 360 bytes." and leaves a new recipe in the
// document, the reader's recipe as it was; an empty file loads nothing and leaves the recipe as it was. The
// document is never modified afterwards.

#include "AidFormat.h"
#include "CKAVODoc.h"
#include "FuzzSupport.h"
#include "RecipeFile.h"

#include <QByteArray>
#include <QString>

#include <span>

namespace {

QByteArray Bytes(const AidImage& image) {
    return QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
}

std::string Hex(const QByteArray& b) {
    return b.left(48).toHex(' ').toStdString() + (b.size() > 48 ? " ..." : "");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = fuzz::MakeScratchDir("recipe");
    static const std::string file = dir + "/recipe.aid";
    static const QByteArray newRecipe = Bytes(EncodeAid(Recipe()));
    fuzz::WriteFile(file, data, size);
    const QString path = QString::fromStdString(file);
    const QByteArray head(reinterpret_cast<const char*>(data),
                          static_cast<qsizetype>(std::min(size, kAidFileSize)));

    // From memory.
    const std::optional<Recipe> decoded = DecodeAid(std::span(data, size));
    FUZZ_CHECK(decoded.has_value() == (size >= kAidFileSize), "%zu bytes: decoded %d", size,
               decoded.has_value());
    if (decoded) {
        FUZZ_CHECK(Bytes(EncodeAid(*decoded)) == head, "%zu bytes: encoded %s, file %s", size,
                   Hex(Bytes(EncodeAid(*decoded))).c_str(), Hex(head).c_str());
    }

    // As the window opens it.
    CKAVODoc doc;
    doc.OnAllLedOn(); // an edited recipe, so that "left as it was" and "reset to new" differ
    const QByteArray before = Bytes(EncodeAid(doc.GetRecipe()));
    QString error;
    const bool ok = doc.LoadFile(path, &error);
    const QByteArray after = Bytes(EncodeAid(doc.GetRecipe()));
    // As kavo-cli reads it.
    Recipe read;
    read.m_levels[0][0][0] = 1; // not the new recipe, so that "as it was" shows
    const Recipe readBefore = read;
    QString readError;
    const bool readOk = ReadRecipeFile(path, &read, &readError);

    FUZZ_CHECK(!doc.IsModified(), "%zu bytes: the recipe is left modified", size);
    FUZZ_CHECK(ok == readOk && error == readError, "%zu bytes: the window says '%s', kavo-cli '%s'", size,
               qPrintable(error), qPrintable(readError));
    if (size == 0) {
        FUZZ_CHECK(ok, "empty file: %s", qPrintable(error));
        FUZZ_CHECK(after == before, "empty file changed the recipe");
        FUZZ_CHECK(read == readBefore, "empty file changed the reader's recipe");
    } else if (size < kAidFileSize) {
        FUZZ_CHECK(!ok, "%zu bytes loaded as a whole recipe", size);
        const QString want = size == 1 ? path + QStringLiteral(" is 1 byte; a recipe file is 360 bytes.")
                                       : QStringLiteral("%1 is %2 bytes; a recipe file is 360 bytes.")
                                             .arg(path, QString::number(size));
        FUZZ_CHECK(error == want, "%zu bytes: message '%s'", size, qPrintable(error));
        FUZZ_CHECK(after == newRecipe, "%zu bytes: not reset to a new recipe: %s", size, Hex(after).c_str());
        FUZZ_CHECK(read == readBefore, "%zu bytes: the reader's recipe changed", size);
    } else {
        FUZZ_CHECK(ok, "%zu bytes: %s", size, qPrintable(error));
        FUZZ_CHECK(after == head, "%zu bytes: stored %s, file %s", size, Hex(after).c_str(),
                   Hex(head).c_str());
        FUZZ_CHECK(decoded && read == *decoded, "%zu bytes: kavo-cli read another recipe", size);
        FUZZ_CHECK(doc.GetTitle() == QLatin1String("recipe.aid"), "title '%s'", qPrintable(doc.GetTitle()));
    }
    return 0;
}
