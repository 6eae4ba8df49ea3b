#pragma once

// The operator's choice of a log folder goes through here, so tests can answer it.

#include <optional>
#include <string>

class QWidget;

namespace tarnwick {

class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    // The chosen folder's path, or nothing when the operator cancels.
    virtual std::optional<std::string> ChooseFolder() = 0;
};

class QtFolderChooser final : public FolderChooser {
public:
    // owner: the window the chooser is modal to.
    explicit QtFolderChooser(QWidget& owner) : m_owner(owner) {}

    std::optional<std::string> ChooseFolder() override;

private:
    QWidget& m_owner;
};

}  // namespace tarnwick
