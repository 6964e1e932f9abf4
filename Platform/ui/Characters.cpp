#include "ui/Characters.h"

#include <QString>
#include <QTextBoundaryFinder>

namespace platform::ui {

std::vector<std::string> splitCharacters(const std::string& utf8)
{
    std::vector<std::string> out;
    const QString s = QString::fromStdString(utf8);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    qsizetype start = 0;
    while (start < s.size()) {
        qsizetype next = finder.toNextBoundary();
        if (next <= start) next = s.size();
        out.push_back(s.mid(start, next - start).toStdString());
        start = next;
    }
    return out;
}

size_t characterCount(const std::string& utf8) { return splitCharacters(utf8).size(); }

std::string prefixCharacters(const std::string& utf8, size_t count)
{
    const auto chars = splitCharacters(utf8);
    std::string out;
    for (size_t i = 0; i < chars.size() && i < count; ++i) out += chars[i];
    return out;
}

}  // namespace platform::ui
