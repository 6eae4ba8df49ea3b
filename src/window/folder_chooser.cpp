#include "window/folder_chooser.h"

#include <QDir>
#include <QFileDialog>

namespace tarnwick {

std::optional<std::string> QtFolderChooser::ChooseFolder() {
    const QString folder = QFileDialog::getExistingDirectory(
        &m_owner, QStringLiteral("Select TXT Save Folder"), QDir::rootPath());
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(folder).toLocal8Bit().toStdString();
}

}  // namespace tarnwick
