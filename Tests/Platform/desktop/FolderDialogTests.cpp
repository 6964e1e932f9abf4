// The Qt folder dialog behind the open panel, driven as a person would:
// select two folders in the list and accept.

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include <gtest/gtest.h>

#include "Platform/foundation/TemporaryDirectory.h"
#include "desktop/OpenPanel.h"

using namespace platform;

namespace {
QFileDialog* openDialog() {
    for (auto* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) return dialog;
    return nullptr;
}

template <class F>
bool waitFor(F done) {
    for (int i = 0; i < 2000 && !done(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

OpenPanelOptions options(const std::string& directory) {
    OpenPanelOptions o;
    o.prompt = "Allow Access";
    o.message = "Select a, b and click Allow Access.";
    o.directory = directory;
    return o;
}
}  // namespace

TEST(FolderDialog, CancelAnswersNoneAndAcceptTakesSeveralFoldersAtOnce) {
    testing_support::TemporaryDirectory dir;
    std::optional<std::optional<std::vector<std::string>>> answer;
    DesktopOpenPanel::beginFolderDialog(options(dir.path()), [&](auto paths) { answer = paths; });
    ASSERT_NE(openDialog(), nullptr);
    openDialog()->reject();
    ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
    EXPECT_FALSE(answer->has_value());

    std::filesystem::create_directories(dir / "a");
    std::filesystem::create_directories(dir / "b");
    answer.reset();
    DesktopOpenPanel::beginFolderDialog(options(dir.path()), [&](auto paths) { answer = paths; });
    auto* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Select a, b and click Allow Access.");
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept).toStdString(), "Allow Access");
    auto* list = dialog->findChild<QListView*>("listView");
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(waitFor([&] { return list->model()->rowCount(list->rootIndex()) == 2; }));
    list->selectionModel()->select(QItemSelection(list->model()->index(0, 0, list->rootIndex()),
                                                  list->model()->index(1, 0, list->rootIndex())),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QMetaObject::invokeMethod(dialog, "accept");
    ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
    ASSERT_TRUE(answer->has_value());
    auto chosen = **answer;
    std::sort(chosen.begin(), chosen.end());  // the list may not be sorted yet when it is read
    EXPECT_EQ(chosen, (std::vector<std::string>{dir / "a", dir / "b"}));
}

TEST(ImagePanel, OffersOneReadablePictureAndLoadsIt) {
    const auto extensions = readableImageExtensions();
    for (const char* format : {"png", "jpg", "jpeg", "tif", "webp"})
        EXPECT_NE(std::find(extensions.begin(), extensions.end(), format), extensions.end()) << format;

    testing_support::TemporaryDirectory dir;
    QImage red(4, 2, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QString::fromStdString(dir / "photo.PNG"), "PNG"));
    std::ofstream(dir / "broken.png") << "not a picture";
    EXPECT_EQ(loadImageFile(dir / "photo.PNG")->size(), QSize(4, 2));
    EXPECT_EQ(loadImageFile(dir / "broken.png"), std::nullopt);

    auto o = singleImageOptions("Choose a background");
    o.directory = dir.path();
    DesktopOpenPanel::beginFolderDialog(o, [](auto) {});
    auto* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_TRUE(dialog->nameFilters().front().contains("*.PNG"));
    dialog->reject();
}
