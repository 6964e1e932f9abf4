#include "desktop/SavePanel.h"

#include <QDir>
#include <QFileDialog>

namespace platform {

namespace {

class DesktopSavePanel final : public SavePanel {
public:
    void begin(const SavePanelOptions& o, std::function<void(std::optional<std::string>)> done) override
    {
        const QString dir = o.directory.empty() ? QDir::homePath() : QString::fromStdString(o.directory);
        auto* dialog = new QFileDialog(nullptr, QString::fromStdString(o.title), dir);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        if (!o.suggestedName.empty()) dialog->selectFile(QString::fromStdString(o.suggestedName));
        if (!o.extension.empty()) {
            dialog->setDefaultSuffix(QString::fromStdString(o.extension));
            dialog->setNameFilter(QString("*.%1").arg(QString::fromStdString(o.extension)));
        }
        auto answered = std::make_shared<bool>(false);
        const std::string ext = o.extension;
        QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [done, answered, ext](const QString& file) {
            *answered = true;
            if (done) done(withExtension(file.toStdString(), ext));
        });
        QObject::connect(dialog, &QFileDialog::finished, dialog, [done, answered](int) {
            if (!*answered && done) done(std::nullopt);
            *answered = true;
        });
        dialog->open();
    }
};

SavePanel*& installed()
{
    static SavePanel* p = nullptr;
    return p;
}

}  // namespace

SavePanel& SavePanel::shared()
{
    static DesktopSavePanel desktop;
    return installed() ? *installed() : desktop;
}

void SavePanel::setShared(SavePanel* panel) { installed() = panel; }

std::string withExtension(const std::string& path, const std::string& extension)
{
    if (extension.empty() || path.empty()) return path;
    const std::string suffix = "." + extension;
    auto lower = [](std::string s) {
        for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    if (path.size() > suffix.size() && lower(path.substr(path.size() - suffix.size())) == lower(suffix)) return path;
    if (path.back() == '/') return path;  // a folder, not a file name
    return path + suffix;
}

}  // namespace platform
