// The save dialog for links and the desktop's names of file types.
#include <QFileDialog>
#include <QMimeDatabase>
#include <QStringList>

#include "ui/qt/QtMainWindow.h"

bool QtWindowPort::AskSaveFileName(const std::vector<FileFilter>& filters,
                                   const std::string& defaultExtension, std::string& path) {
    QStringList nameFilters;
    for (const FileFilter& filter : filters) {
        // Qt reads the patterns from the text's last parentheses; names without a dot are
        // files too here.
        std::string text = filter.description;
        const std::string shown = " (" + filter.pattern + ")";
        if (text.ends_with(shown)) text.erase(text.size() - shown.size());
        text += filter.pattern == "*.*" ? " (*)" : shown;
        nameFilters << QString::fromLatin1(text.c_str());
    }
    QFileDialog dialog(m_widget.get());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFilters);
    if (!defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromLatin1(defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().front().toLocal8Bit().toStdString();
    return !path.empty();
}

std::string QtWindowPort::FileTypeDescription(const std::string& extension) {
    if (extension.empty()) return {};
    const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(QString::fromLatin1("file" + extension),
                                                    QMimeDatabase::MatchExtension);
    // The database's answer for an extension it does not know is the generic binary type.
    if (!type.isValid() || type.isDefault()) return {};
    return type.comment().toLatin1().toStdString();
}
