// The printed recipe sheet, painted into a PDF and read back with poppler's tools.
#include "RecipeSheet.h"
#include "PrintedSheet.h"

#include <QPdfWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using namespace printed_sheet;

struct Paper {
    const char* name;
    QPageSize::PageSizeId id;
    const char* points; // the page size pdfinfo reports
};

void PrintTo(const Paper& paper, std::ostream* os) {
    *os << paper.name;
}

class RecipeSheetTest : public ::testing::TestWithParam<Paper> {};

TEST_P(RecipeSheetTest, OnePagePerCameraWithNameLevelsAndEverySquare) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("sheet.pdf"));
    const Recipe recipe = Fixture();
    QPageLayout layout;
    {
        QPdfWriter writer(pdf);
        RecipeSheet::SetDefaultPageLayout(writer, GetParam().id);
        layout = writer.pageLayout();
        ASSERT_TRUE(RecipeSheet(recipe, QStringLiteral("fixture.aid"), false,
                                QDateTime(QDate(2026, 3, 4), QTime(5, 6)))
                        .Print(writer));
    }
    ASSERT_EQ(PageCount(pdf), RecipeSheet::kPageCount);
    EXPECT_EQ(PageSizeText(pdf), QLatin1String(GetParam().points));

    constexpr int kDpi = 100;
    for (int camera = 1; camera <= Recipe::kCameras; ++camera) {
        SCOPED_TRACE(camera);
        const QStringList words = Words(pdf, camera);
        EXPECT_TRUE(words.contains(QStringLiteral("fixture.aid")));
        EXPECT_TRUE(words.contains(QStringLiteral("2026-03-04")));
        EXPECT_TRUE(words.contains(QStringLiteral("V1.00")));
        EXPECT_TRUE(words.contains(QString::number(camera)));
        EXPECT_TRUE(words.contains(QStringLiteral("downloaded")));
        const auto ci = static_cast<std::size_t>(camera - 1);
        for (int p = 0; p < Recipe::kPositions; ++p) {
            for (int k = 0; k < Recipe::kChannels; ++k) {
                const int level =
                    recipe.m_levels[ci][static_cast<std::size_t>(p)][static_cast<std::size_t>(k)];
                EXPECT_TRUE(words.contains(QString::number(level))) << level;
            }
        }
        // The channels are numbered across the cameras.
        EXPECT_TRUE(words.contains(QStringLiteral("CH%1").arg(camera * 8)));
        EXPECT_FALSE(words.contains(QStringLiteral("CH%1").arg(camera * 8 + 1)));

        const QImage image = Render(pdf, camera, kDpi, dir);
        ASSERT_FALSE(image.isNull());
        const PageSquares squares = ReadSquares(image, layout, kDpi);
        EXPECT_EQ(squares.filled, LitSteps(recipe, camera));
        for (int p = 0; p < Recipe::kPositions; ++p) {
            for (int k = 0; k < Recipe::kChannels; ++k) {
                EXPECT_EQ(squares.masks[static_cast<std::size_t>(p)][static_cast<std::size_t>(k)],
                          recipe.m_stepMasks[ci][static_cast<std::size_t>(p)][static_cast<std::size_t>(k)])
                    << "position " << p + 1 << " channel " << k + 1;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Papers, RecipeSheetTest,
                         ::testing::Values(Paper{"A4", QPageSize::A4, "595 x 842"},
                                           Paper{"Letter", QPageSize::Letter, "612 x 792"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
