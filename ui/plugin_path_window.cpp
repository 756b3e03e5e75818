#include "ui/plugin_path_window.h"

#include "ui/flat_style.h"
#include "ui/language_switch.h"
#include "ui/title_bar.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cstdlib>
#include <filesystem>

namespace peldor {
namespace {

constexpr int kMargin = 8;
constexpr int kTextFontPx = 11;
constexpr int kButtonFontPx = 13;
constexpr int kButtonHeight = 28;

bool IsFolder(const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

} // namespace

std::string DefaultPluginFolder() {
    std::vector<std::filesystem::path> candidates;
    if (const char* vstPath = std::getenv("VST_PATH"); vstPath != nullptr && *vstPath != '\0') {
        const std::string list = vstPath;
        candidates.emplace_back(list.substr(0, list.find(':')));
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        candidates.push_back(std::filesystem::path(home) / ".vst");
    }
    candidates.emplace_back("/usr/local/lib/vst");
    candidates.emplace_back("/usr/lib/vst");
    for (const std::filesystem::path& candidate : candidates) {
        if (IsFolder(candidate)) {
            return candidate.string();
        }
    }
    return home != nullptr ? std::string(home) : std::string("/");
}

TPluginPathWindow::TPluginPathWindow(TPluginPathForm& theForm, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Dialog),
      form(theForm) {
    setObjectName("PluginPathForm");
    setWindowTitle(QString::fromStdString(TPluginPathForm::Caption()));
    setFixedSize(TPluginPathForm::kWidth, TPluginPathForm::kHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, style::kWindowBack);
    setPalette(pal);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, kMargin);
    layout->setSpacing(2);
    auto* title = new TTitleBar(this);
    title->setFixedHeight(TTitleBar::kHeight);
    title->SetCaption(windowTitle());
    layout->addWidget(title);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(kMargin, kMargin / 2, kMargin, 0);
    body->setSpacing(1);
    for (int line = 1; line <= 5; ++line) {
        auto* text = new QLabel(QString::fromStdString(TPluginPathForm::TextLine(line)), this);
        text->setObjectName(QString("Label%1").arg(line));
        text->setFont(style::SansFont(kTextFontPx, line <= 2));
        text->setWordWrap(true);
        text->setStyleSheet(QString("color: %1;").arg(style::kText.name()));
        body->addWidget(text);
    }

    model = new QFileSystemModel(this);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    model->setRootPath("/");
    dir = new QTreeView(this);
    dir->setObjectName("Dir");
    dir->setModel(model);
    for (int column = 1; column < model->columnCount(); ++column) {
        dir->hideColumn(column);
    }
    dir->header()->hide();
    body->addSpacing(kMargin / 2);
    body->addWidget(dir, 1);
    SelectFolder(DefaultPluginFolder());

    struct Choice {
        const char* name;
        std::string caption;
    };
    for (const Choice& choice : {Choice{"btnCreate", TPluginPathForm::CreateCaption()},
                                 Choice{"btnPick", TPluginPathForm::PickCaption()},
                                 Choice{"btnContinue", TPluginPathForm::ContinueCaption()}}) {
        auto* button = new QPushButton(QString::fromStdString(choice.caption), this);
        button->setObjectName(choice.name);
        button->setFont(style::SansFont(kButtonFontPx, true));
        button->setFixedHeight(kButtonHeight);
        button->setAutoDefault(false);
        body->addWidget(button);
        const std::string name = choice.name;
        connect(button, &QPushButton::clicked, this, [this, name] {
            if (name == "btnCreate") {
                Press(&TPluginPathForm::btnCreateClick);
            } else if (name == "btnPick") {
                Press(&TPluginPathForm::btnPickClick);
            } else {
                form.btnContinueClick();
                done(form.ModalResult);
            }
        });
    }
    layout->addLayout(body, 1);
    TranslateWindow(this);
}

std::string TPluginPathWindow::SelectedFolder() const {
    const QModelIndex index = dir->currentIndex();
    return index.isValid() ? model->filePath(index).toStdString() : std::string{};
}

void TPluginPathWindow::SelectFolder(const std::string& folder) {
    const QModelIndex index = model->index(QString::fromStdString(folder));
    if (!index.isValid()) {
        return;
    }
    dir->setCurrentIndex(index);
    dir->scrollTo(index);
    dir->expand(index);
}

void TPluginPathWindow::Press(void (TPluginPathForm::*handler)(const std::string&)) {
    const std::string folder = SelectedFolder();
    if (folder.empty()) {
        return;
    }
    (form.*handler)(folder);
    // "No" to the question, or a folder that cannot be registered: the dialog stays.
    if (form.ModalResult != 0) {
        done(form.ModalResult);
    }
}

int TQtPluginPathDialog::ShowModal(TPluginPathForm& form) {
    TPluginPathWindow window(form, parent);
    if (parent != nullptr) {
        window.move(parent->geometry().center() - window.rect().center());
    }
    window.exec();
    // Closed some other way (Escape): as "Continue without plugins".
    if (form.ModalResult == 0) {
        form.btnContinueClick();
    }
    return form.ModalResult;
}

} // namespace peldor
