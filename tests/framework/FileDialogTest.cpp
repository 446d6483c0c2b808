// The real file dialog: "All Files (*.*)" lists every file, names without a dot included.
#include "FileDialogs.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QStringList Listed(QFileDialog& dialog, const QString& dir, int expected) {
    auto* model = dialog.findChild<QFileSystemModel*>();
    QStringList names;
    if (model == nullptr) {
        return names;
    }
    // The model reads the folder and applies a new filter in the background: wait (up to a bound only a
    // hang would reach) until the listing has the expected size.
    auto enabledCount = [&] {
        const QModelIndex parent = model->index(dir);
        int n = 0;
        for (int r = 0; r < model->rowCount(parent); ++r) {
            n += (model->flags(model->index(r, 0, parent)) & Qt::ItemIsEnabled) ? 1 : 0;
        }
        return n;
    };
    (void)QTest::qWaitFor([&] { return enabledCount() == expected; }, 5000);
    const QModelIndex parent = model->index(dir);
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex i = model->index(r, 0, parent);
        // A file the filter rejects is either left out or shown disabled.
        if (model->flags(i) & Qt::ItemIsEnabled) {
            names << model->fileName(i);
        }
    }
    names.sort();
    return names;
}

TEST(FileDialog, AllFilesFilterListsNamesWithoutADot) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"recipe.aid", "plain", "notes.txt"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QFileDialog dialog(nullptr, QString(), dir.path(), DocumentFilters());
    ShowAllFilesUnderAllFilesFilter(dialog);
    dialog.show();
    EXPECT_EQ(Listed(dialog, dir.path(), 1), QStringList{"recipe.aid"});

    // The operator chooses the second filter in the dialog's list.
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->count(), 2);
    EXPECT_EQ(types->itemText(1), QStringLiteral("All Files (*.*)"));
    // As the combo box does when the operator picks an entry.
    types->setCurrentIndex(1);
    emit types->activated(1);
    emit types->textActivated(types->itemText(1));
    EXPECT_EQ(Listed(dialog, dir.path(), 3), (QStringList{"notes.txt", "plain", "recipe.aid"}));
}

} // namespace
