#include "ui/plugin_problems_form.h"

#include "i18n/ui_strings.h"
#include "ui/flat_style.h"
#include "ui/language_switch.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>

namespace peldor {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 320;
constexpr int kSummaryFontPx = 15;
constexpr int kListFontPx = 13;
constexpr int kLibraryColumnWidth = 220;

} // namespace

TPluginProblemsForm::TPluginProblemsForm(IMainWindowCore& theCore, QWidget* parent)
    : QDialog(parent, Qt::Tool), core(theCore) {
    setObjectName("PluginProblemsForm");
    setWindowTitle("Plugin problems");
    resize(kWidth, kHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, style::kWindowBack);
    setPalette(pal);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    summary = new QLabel(this);
    summary->setObjectName("lblSummary");
    summary->setFont(style::SansFont(kSummaryFontPx, true));
    layout->addWidget(summary);
    folderLabel = new QLabel(this);
    folderLabel->setObjectName("lblFolder");
    folderLabel->setFont(style::SansFont(kListFontPx));
    folderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(folderLabel);

    list = new QTreeWidget(this);
    list->setObjectName("lstProblems");
    list->setFont(style::SansFont(kListFontPx));
    list->setColumnCount(2);
    list->setRootIsDecorated(false);
    list->setColumnWidth(0, kLibraryColumnWidth);
    list->header()->setStretchLastSection(true);
    layout->addWidget(list, 1);

    auto* close = new QPushButton("Close", this);
    close->setObjectName("btnClose");
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    layout->addWidget(close, 0, Qt::AlignRight);
    Refresh();
    TranslateWindow(this);
}

void TPluginProblemsForm::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        Refresh();
    }
}

void TPluginProblemsForm::Refresh() {
    list->setHeaderLabels({QString::fromStdString(LoadResString(kStrProblemsLibrary)),
                           QString::fromStdString(LoadResString(kStrProblemsReason))});
    list->clear();
    const auto failures = core.ScanFailures();
    for (const auto& [library, reason] : failures) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(0,
                      QString::fromStdString(std::filesystem::path(library).filename().string()));
        item->setToolTip(0, QString::fromStdString(library));
        item->setText(1, QString::fromStdString(reason));
        item->setToolTip(1, QString::fromStdString(reason));
    }
    const QString folder = QString::fromStdString(core.PluginFolder());
    const auto text = [](ResourceStringId id) { return QString::fromStdString(LoadResString(id)); };
    folderLabel->setText(folder.isEmpty() ? QString() : text(kStrProblemsFolder).arg(folder));
    if (folder.isEmpty()) {
        summary->setText(text(kStrProblemsNoFolder));
    } else if (failures.empty()) {
        summary->setText(text(kStrProblemsNone));
    } else if (failures.size() == 1) {
        summary->setText(text(kStrProblemsOne));
    } else {
        summary->setText(text(kStrProblemsMany).arg(failures.size()));
    }
}

} // namespace peldor
