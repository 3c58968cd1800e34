// What a run will fill and how a save run names and writes its files: the match line beside the
// template chooser, the one question before a run that leaves bookmarks empty, and the file type
// and naming column of a save request with the confirmation of the real names.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>
#include <set>

#include "app/core/settings.h"
#include "app/core/template_messages.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/note_combo.h"
#include "app/gui/page_model.h"
#include "app/gui/qt_text.h"
#include "app/gui/window_texts.h"
#include "common/text.h"
#include "merge/matching.h"
#include "merge/merge_run.h"
#include "merge/output_names.h"
#include "merge/program_state.h"
#include "merge/request.h"
#include "merge/run_plan.h"
#include "word/word_host.h"

namespace qm::gui {

namespace {

struct OutputType {
    const char* key;  // as remembered in the settings
    const char* filter;
    const char* extension;
    bool singleFile;
};

constexpr OutputType kOutputTypes[] = {
    {"doc", "Word文档(*.doc)", ".doc", false},
    {"docx", "Word文档(*.docx)", ".docx", false},
    {"pdf", "PDF 文件(*.pdf)", ".pdf", false},
    {"odt", "OpenDocument 文本(*.odt)", ".odt", false},
    {"pdf-all", "一个PDF文件（全部）(*.pdf)", ".pdf", true},
};
constexpr int kTypeCount = static_cast<int>(std::size(kOutputTypes));

int TypeIndex(std::string_view key) {
    for (int i = 0; i < kTypeCount; ++i)
        if (key == kOutputTypes[i].key) return i;
    return -1;
}

// The type shown first: the one chosen last time, else the template's own format.
int FirstType(const std::string& remembered, const std::string& templateItem) {
    if (const int index = TypeIndex(remembered); index >= 0) return index;
    std::string extension =
        templateItem.substr(std::min(templateItem.size(), StripExtension(templateItem).size()));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return extension == ".docx" ? TypeIndex("docx") : TypeIndex("doc");
}

// The sheet's column titles, each once, without the empty ones.
std::vector<std::string> NamingTitles(const std::vector<std::string>& columnTitles) {
    std::vector<std::string> titles;
    std::set<std::string> seen;
    for (const std::string& title : columnTitles)
        if (!title.empty() && seen.insert(title).second) titles.push_back(title);
    return titles;
}

// Opens the match line's menu on a click of either button.
class MenuOnClick : public QObject {
  public:
    MenuOnClick(QObject* parent, std::function<void(QPoint)> show)
        : QObject(parent), show_(std::move(show)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress) return QObject::eventFilter(watched, event);
        show_(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true;
    }

  private:
    std::function<void(QPoint)> show_;
};

}  // namespace

void MainWindow::BuildMatchLine() {
    // The line takes the end of the template chooser's row, which is otherwise full; it is wide
    // enough to say which mode a template needs ("勾选“多行模式”后匹配 15/15 书签").
    templateCombo_->setGeometry(120, 37, 142, 20);
    matchLabel_ = new QLabel(centralWidget());
    matchLabel_->setObjectName(QStringLiteral("书签匹配标签"));
    matchLabel_->setGeometry(268, 37, 200, 20);
    matchLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A click opens the menu that marks picture columns.
    matchLabel_->setCursor(Qt::PointingHandCursor);
    matchLabel_->installEventFilter(new MenuOnClick(matchLabel_, [this](QPoint at) {
        if (QMenu* menu = MakePictureColumnMenu()) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(at);
        }
    }));
    // After the handlers of BuildControls, so the state they set is what the line reports.
    connect(templateCombo_, &QComboBox::activated, this, [this] { UpdateMatchLine(); });
    connect(repeatBox_, &QCheckBox::clicked, this, [this] { UpdateMatchLine(); });
    connect(multiRowBox_, &QCheckBox::clicked, this, [this] { UpdateMatchLine(); });
}

MatchReport MainWindow::CurrentMatchReport() const {
    const ProgramState& state = ctx_.state;
    return ReportMatches(state.columnTitles, state.templateBookmarks, state.multiRowMode, state.repeatMode,
                         state.templateUnfillable, PictureColumns());
}

std::vector<std::string> MainWindow::PictureColumns() const {
    if (!TemplateChosen()) return {};
    return ctx_.settings.PictureColumns(ctx_.settings.GetWordPath() + CurrentTemplateItem());
}

void MainWindow::SetPictureColumn(const std::string& title, bool picture) {
    if (!TemplateChosen()) return;
    std::vector<std::string> columns = PictureColumns();
    std::erase(columns, title);
    if (picture) columns.push_back(title);
    ctx_.settings.SetPictureColumns(ctx_.settings.GetWordPath() + CurrentTemplateItem(), columns);
    UpdateMatchLine();
}

QMenu* MainWindow::MakePictureColumnMenu() {
    if (!TemplateChosen() || ctx_.state.columnTitles.empty() || RunGoing()) return nullptr;
    const MatchReport report = CurrentMatchReport();
    const std::vector<std::string> pictures = PictureColumns();
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("图片列菜单"));
    QAction* heading = menu->addAction(QStringLiteral("值为图片文件的列（JPEG、PNG）："));
    heading->setEnabled(false);
    std::set<std::string> seen;
    for (const std::string& title : ctx_.state.columnTitles) {
        if (title.empty() || !seen.insert(title).second) continue;
        if (std::find(report.unusedTitles.begin(), report.unusedTitles.end(), title) !=
            report.unusedTitles.end())
            continue;
        QAction* action = menu->addAction(ToQ(title + "：图片"));
        action->setObjectName(ToQ("图片列:" + title));
        action->setCheckable(true);
        action->setChecked(std::find(pictures.begin(), pictures.end(), title) != pictures.end());
        connect(action, &QAction::toggled, this, [this, title](bool on) { SetPictureColumn(title, on); });
    }
    if (menu->actions().size() == 1) {
        delete menu;
        return nullptr;
    }
    return menu;
}

void MainWindow::UpdateMatchLine() {
    if (!matchLabel_) return;
    const auto show = [this](const QString& text, QColor color) {
        // A line longer than its room is cut; its tooltip says it all.
        matchLabel_->setText(
            matchLabel_->fontMetrics().elidedText(text, Qt::ElideRight, matchLabel_->width()));
        QPalette palette = matchLabel_->palette();
        palette.setColor(QPalette::WindowText, color);
        matchLabel_->setPalette(palette);
    };
    const QColor wrong(170, 0, 0);
    if (!TemplateChosen()) {
        matchLabel_->clear();
        matchLabel_->setToolTip({});
        templateCombo_->setToolTip({});
        model_->setPictureColumns({});
        return;
    }
    if (!templateProblem_.empty()) {
        // Nothing of the template is known: it holds no bookmarks only as far as we can tell.
        const QString problem = ToQ(templateProblem_);
        show(ToQ(std::string(kTemplateNotOpened)), wrong);
        matchLabel_->setToolTip(problem);
        templateCombo_->setToolTip(problem);
        model_->setPictureColumns({});
        return;
    }
    const ProgramState& state = ctx_.state;
    const MatchReport report = CurrentMatchReport();
    QStringList pictures;
    for (const std::string& title : report.pictureTitles) pictures.append(ToQ(title));
    if (model_->setPictureColumns(pictures)) FitColumns();
    QString details = ToQ(MatchDetails(report)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (state.columnTitles.empty())
        details.prepend(QStringLiteral("还没有读取工作表，书签都还没有对应的列。\n"));
    if (state.columnTitles.empty() && sheetCombo_->currentIndex() < 0) {
        // Until a sheet is chosen there is nothing to match; the template's bookmarks are told.
        matchLabel_->clear();
        matchLabel_->setToolTip({});
        templateCombo_->setToolTip(details);
        return;
    }
    // A template made for another mode says which, rather than a bare "匹配 0/6 书签"; the
    // switches stay as the user set them.
    if (const std::optional<ModeHint> hint =
            BetterModes(state.columnTitles, state.templateBookmarks, state.multiRowMode, state.repeatMode,
                        state.templateUnfillable, PictureColumns())) {
        const std::string summary = ModeHintSummary(*hint, state.multiRowMode, state.repeatMode);
        show(ToQ(summary), QColor(160, 90, 0));
        details.prepend(ToQ(summary + "。" + ModeExplanation(hint->multiRowMode, hint->repeatMode)) +
                        QStringLiteral("\n"));
    } else {
        show(ToQ(MatchSummary(report)), report.complete() ? QColor(0, 110, 0) : wrong);
    }
    templateCombo_->setToolTip(details);
    matchLabel_->setToolTip(details + QStringLiteral("\n（单击可把某列标为图片列）"));
}

bool MainWindow::ConfirmEmptyBookmarks(const MatchReport& report) {
    const ProgramState& state = ctx_.state;
    if (report.empty.empty() && report.unfillable.empty()) return true;
    if (report.filled.empty() && report.unfillable.empty()) {
        // Titles that only begin bookmark names, or names of another mode: the run would stop at
        // its first document with nothing filled, after the file dialogs.
        const ProgramState& now = ctx_.state;
        const std::optional<ModeHint> hint =
            BetterModes(now.columnTitles, now.templateBookmarks, now.multiRowMode, now.repeatMode,
                        now.templateUnfillable, PictureColumns());
        const std::string advice = hint ? ModeHintSummary(*hint, now.multiRowMode, now.repeatMode) + "。" +
                                              ModeExplanation(hint->multiRowMode, hint->repeatMode)
                                        : std::string("请检查“重复模式”和“多行模式”的选择。");
        ctx_.dialogs.message("模板“" + CurrentTemplateItem() +
                                 "”中的书签在当前模式下都没有对应的列，运行不会填入任何数据：" +
                                 NameList(report.empty) + "。\r\n" + advice,
                             "书签检查", Buttons::Ok, MessageIcon::Warning);
        return false;
    }
    if (report.filled.empty()) {
        // Every bookmark a column names is one this program cannot fill: the run would stop at
        // its first document.
        ctx_.dialogs.message("模板“" + CurrentTemplateItem() +
                                 "”中有对应列的书签本程序都无法填写，运行不会填入任何数据：" +
                                 UnfillableList(report.unfillable) + "。",
                             "书签检查", Buttons::Ok, MessageIcon::Warning);
        return false;
    }
    // Asked once for the same template, sheet, modes and empty bookmarks; a change asks again.
    const std::string key = ctx_.settings.GetWordPath() + CurrentTemplateItem() + "\n" +
                            FromQ(sheetCombo_->currentText()) + "\n" + (state.multiRowMode ? "m" : "-") +
                            (state.repeatMode ? "r" : "-") + "\n" + JoinList(report.empty) + "\n" +
                            UnfillableList(report.unfillable);
    if (key == emptyBookmarksAccepted_) return true;
    std::string text = "模板“" + CurrentTemplateItem() + "”中有 ";
    if (!report.empty.empty())
        text += IntToText(static_cast<long long>(report.empty.size())) +
                " 个书签没有对应的列，运行后将保持模板中的原样：" + NameList(report.empty) + "。\r\n";
    if (!report.unfillable.empty())
        text += std::string(report.empty.empty() ? "" : "另有 ") +
                IntToText(static_cast<long long>(report.unfillable.size())) +
                " 个书签本程序无法填写，运行后也将保持原样：" + UnfillableList(report.unfillable) + "。\r\n";
    text += "是否继续？";
    if (ctx_.dialogs.message(text, "书签检查", Buttons::YesNo, MessageIcon::Question) != Answer::Yes)
        return false;
    emptyBookmarksAccepted_ = key;
    return true;
}

bool MainWindow::ChooseNameColumn(const RunPlanner& planner, RunOutput& output) {
    const ProgramState& state = ctx_.state;
    output.nameColumn.clear();
    const std::vector<std::string> titles = NamingTitles(state.columnTitles);
    if (titles.empty()) return true;
    const std::string& reference = state.referenceName;
    // The first document's name as the run gives it: its sheet row's number, which a filter
    // need not make 1.
    const NamePlan numbered = planner.FileNames({}, reference, output.extension, 1);
    std::vector<std::string> items{"参考名加序号：" + (numbered.names.empty()
                                                           ? reference + "1" + output.extension
                                                           : numbered.names.front())};
    // Each column shown with the name its value gives the first document.
    int current = 0;
    for (const std::string& title : titles) {
        const NamePlan example = planner.FileNames(title, reference, output.extension, 1);
        const std::string name = example.names.empty() ? reference + "_〈" + title + "〉" + output.extension
                                                       : example.names.front();
        items.push_back("参考名加“" + title + "”列的值：" + name);
        if (title == ctx_.settings.NameColumn()) current = static_cast<int>(items.size()) - 1;
    }
    const int chosen = ctx_.dialogs.chooseItem("文件命名方式", "每个文件的名称：", items, current);
    if (chosen < 0) return false;
    if (chosen > 0 && chosen <= static_cast<int>(titles.size())) output.nameColumn = titles[chosen - 1];
    return true;
}

bool MainWindow::AskOutputNaming(const RunPlanner& planner, RunOutput& output,
                                 const std::string& proposedFolder, const std::string& templateBase,
                                 std::string& chosenFolder) {
    ProgramState& state = ctx_.state;
    std::vector<std::string> filters;
    for (const OutputType& type : kOutputTypes) filters.emplace_back(type.filter);
    int type = FirstType(ctx_.settings.OutputType(), CurrentTemplateItem());
    // After "否" the dialog comes back where the user left it, with the name as typed; a folder
    // not made yet stays in front of the name.
    DialogStart start = DialogStartFor(proposedFolder, templateBase + kOutputTypes[type].extension);
    for (;;) {
        const std::string path =
            ctx_.dialogs.getSaveFileNameOfType("请输入参考文件名", start.folder, start.name, filters, type);
        if (path.empty()) return false;
        if (type < 0 || type >= kTypeCount) type = 0;
        const OutputType& chosen = kOutputTypes[type];
        state.referenceName = BaseNameOfPath(path);
        chosenFolder = FolderOfPath(path);
        start = DialogStartFor(chosenFolder, NameOfPath(path));
        output.folder = chosenFolder;
        output.referenceName = state.referenceName;
        output.extension = chosen.extension;
        output.singleFile = chosen.singleFile;
        output.nameColumn.clear();
        // PDF and ODT files come from the office: its processes start while the user confirms.
        if (output.extension == ".pdf" || output.extension == ".odt") ctx_.host.StartConvertingOffices();
        // Cancelling the naming choice goes back to the file dialog, as "否" does.
        if (!chosen.singleFile && !ChooseNameColumn(planner, output)) continue;
        // The names the run will write, as the planner gives them to the run.
        std::string text = planner.ConfirmationText(output);
        text += "\r\n" + NamingRuleLine(output.nameColumn, output.singleFile);
        if (!state.filters.empty()) text += "\r\n" + FilterLine(state.filters);
        if (ctx_.dialogs.message(text, "文件名确认提示", Buttons::YesNo, MessageIcon::None) != Answer::No)
            break;
    }
    // A folder or file name with bytes that are not text comes back from the dialog with them
    // replaced (U+FFFD), and would name another folder or file: nothing is written then.
    if ((chosenFolder + state.referenceName).find("\xEF\xBF\xBD") != std::string::npos) {
        ctx_.dialogs.message(
            "所选文件夹或输入的文件名中有无法识别的字符，文档没有保存。请换一个文件夹或文件名后再试。", "",
            Buttons::Ok, MessageIcon::Warning);
        return false;
    }
    ctx_.settings.SetOutputType(kOutputTypes[type].key);
    if (!output.singleFile) ctx_.settings.SetNameColumn(output.nameColumn);
    return true;
}

}  // namespace qm::gui
