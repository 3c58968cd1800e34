#include "app/gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>

#include "app/core/settings.h"
#include "app/core/template_messages.h"
#include "app/gui/about_window.h"
#include "app/gui/fonts.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/help_window.h"
#include "app/gui/inputs_disabled.h"
#include "app/gui/link_label.h"
#include "app/gui/links.h"
#include "app/gui/note_combo.h"
#include "app/gui/opener.h"
#include "app/gui/page_model.h"
#include "app/gui/qt_text.h"
#include "app/gui/range_box.h"
#include "app/gui/run_worker.h"
#include "app/gui/window_frame.h"
#include "app/gui/window_texts.h"
#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/workbook_file.h"
#include "merge/matching.h"
#include "merge/program_state.h"
#include "word/word_host.h"

namespace qm::gui {

namespace {

// The client area below the menu bar holds every control: right edge 812 and bottom 372, with
// the same 8 pixels of margin as on the left and at the top.
constexpr int kClientWidth = 820;
// The filter line is a row of its own above the grid; everything from the grid down sits that
// much lower.
constexpr int kFilterRow = 28;
constexpr int kClientHeight = 380 + kFilterRow;

template <typename W>
W* Place(W* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromUtf8(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int left, int top, int width,
                  int height) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return Place(label, name, left, top, width, height);
}

LinkLabel* MakeLink(QWidget* parent, const char* name, const char* text, int left, int top, int width,
                    int height) {
    auto* label = new LinkLabel(QString::fromUtf8(text), parent);
    label->setFont(LinkFont());
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
    label->setPalette(palette);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return Place(label, name, left, top, width, height);
}

QComboBox* MakeList(QWidget* parent, const char* name, bool editable, int left, int top, int width,
                    int height) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(editable);
    if (editable) {
        // Typed text only sits in the box: it neither adds an item nor chooses one, so only a
        // choice from the list starts the box's handler.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        QObject::disconnect(combo->lineEdit(), &QLineEdit::editingFinished, combo, nullptr);
    }
    combo->setMaxVisibleItems(20);
    return Place(combo, name, left, top, width, height);
}

}  // namespace

MainWindow::MainWindow(WindowContext context, QWidget* parent)
    : QMainWindow(parent), ctx_(std::move(context)), worker_(std::make_unique<RunWorker>()) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    BuildControls();
    BuildMatchLine();
    BuildMenus();
    const int menuHeight = menuBar()->sizeHint().height();
    setFixedSize(kClientWidth, kClientHeight + menuHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, (height() + 26) / 2));
    }
    Created();
}

MainWindow::~MainWindow() {
    // A run still going stops after its document, before anything it uses goes.
    worker_.reset();
    ctx_.settings.SetProblemObserver(nullptr);
}

void MainWindow::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    // The labels name the first formats; their tooltips say everything the choosers take.
    const QString workbookTypes = QStringLiteral("可以选择 .xls、.xlsx、.xlsm、.ods 和 .csv 文件");
    MakeLabel(client, "标签1", "Excel文件(*.xls)：", 8, 8, 112, 24)->setToolTip(workbookTypes);
    workbookCombo_ = MakeList(client, "文件选择组合框", false, 120, 9, 340, 20);
    workbookCombo_->setToolTip(workbookTypes);
    MakeLabel(client, "标签3", "工作表：", 470, 8, 48, 24);
    sheetCombo_ = Place(new NoteComboBox(client), "工作表选择组合框", 520, 9, 288, 20);
    sheetCombo_->setMaxVisibleItems(20);
    MakeLabel(client, "标签2", "Word模板(*.doc)：", 8, 36, 112, 24)
        ->setToolTip(QStringLiteral("可以选择 .doc 和 .docx 模板"));
    templateCombo_ = MakeList(client, "模板选择组合框", false, 120, 37, 340, 20);
    repeatBox_ = Place(new QCheckBox(QStringLiteral("重复模式"), client), "重复模式选择框", 472, 40, 72, 16);
    multiRowBox_ =
        Place(new QCheckBox(QStringLiteral("多行模式"), client), "多行模式选择框", 554, 40, 76, 16);
    repeatBox_->setToolTip(ToQ(ModeExplanation(false, true)));
    multiRowBox_->setToolTip(ToQ(ModeExplanation(true, false)));
    MakeLabel(client, "标签4", "每页显示记录：", 638, 39, 84, 16);
    pageSizeCombo_ = MakeList(client, "每页记录数组合框", false, 726, 36, 66, 20);
    pageSizeCombo_->addItems({QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("50"),
                              QStringLiteral("100"), QStringLiteral("200")});
    pageSizeCombo_->setCurrentIndex(0);
    MakeLabel(client, "标签5", "条", 796, 40, 14, 12);

    BuildFilterLine(client);

    grid_ = Place(new QTableView(client), "表格1", 8, kFilterRow + 64, 804, 272);
    model_ = new PageModel(grid_);
    model_->setObjectName(QStringLiteral("通用提供者1"));
    grid_->setModel(model_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    // One block of cells, as "按选择" takes its rows from the top and the count of the selection.
    grid_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A double click on a row previews its document.
    connect(grid_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && index.row() < model_->filledRows())
            OnPreviewRequested((ctx_.state.currentPage - 1) * ctx_.state.recordsPerPage + index.row() + 1);
    });
    grid_->verticalHeader()->setDefaultSectionSize(20);
    grid_->verticalHeader()->setMinimumWidth(28);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setDefaultSectionSize(76);  // ten columns fit without scrolling
    grid_->horizontalHeader()->setHighlightSections(false);
    grid_->verticalHeader()->setHighlightSections(false);

    progress_ = Place(new QProgressBar(client), "进度条1", 220, kFilterRow + 132, 424, 32);
    progress_->setTextVisible(true);
    progress_->setAlignment(Qt::AlignCenter);
    progress_->hide();
    // Below the bar while a save run goes; Esc does the same.
    stopButton_ = Place(new QPushButton(QStringLiteral("停止(Esc)"), client), "停止按钮", 382,
                        kFilterRow + 172, 100, 28);
    stopButton_->setAutoDefault(false);
    stopButton_->hide();

    // The boxes show six digits with their buttons (a range end of 200000): they take the room
    // the labels between them left, and everything from the mode list on stays where it was.
    MakeLabel(client, "标签6", "范围：", 8, kFilterRow + 347, 36, 20);
    startBox_ = Place(new RangeBox(client), "范围起编辑框", 44, kFilterRow + 347, 70, 20);
    MakeLabel(client, "标签7", "到", 118, kFilterRow + 347, 14, 20);
    endBox_ = Place(new RangeBox(client), "范围止编辑框", 132, kFilterRow + 347, 70, 20);
    unitLabel_ = MakeLabel(client, "范围单位标签", "条", 206, kFilterRow + 347, 16, 20);
    modeCombo_ = MakeList(client, "选择方式组合框", true, 228, kFilterRow + 348, 68, 20);
    modeCombo_->addItems(
        {QStringLiteral("按条"), QStringLiteral("按页"), QStringLiteral("全部"), QStringLiteral("按选择")});
    firstLabel_ = MakeLink(client, "首页标签", "首页", 307, kFilterRow + 348, 32, 20);
    previousLabel_ = MakeLink(client, "上一页标签", "上一页", 343, kFilterRow + 348, 40, 20);
    nextLabel_ = MakeLink(client, "下一页标签", "下一页", 387, kFilterRow + 348, 40, 20);
    lastLabel_ = MakeLink(client, "尾页标签", "尾页", 431, kFilterRow + 348, 32, 20);
    MakeLabel(client, "标签10", "到", 471, kFilterRow + 350, 16, 16);
    pageCombo_ = MakeList(client, "页组合框", true, 489, kFilterRow + 348, 50, 20);
    MakeLabel(client, "标签11", "页", 543, kFilterRow + 350, 16, 16);
    saveButton_ = Place(new QPushButton(QStringLiteral("插入并保存(&S)"), client), "插入并保存按钮", 566,
                        kFilterRow + 344, 91, 28);
    printButton_ = Place(new QPushButton(QStringLiteral("插入并打印(&P)"), client), "插入并打印按钮", 661,
                         kFilterRow + 344, 92, 28);
    exitButton_ =
        Place(new QPushButton(QStringLiteral("退出(&Q)"), client), "退出按钮", 760, kFilterRow + 344, 52, 28);
    for (QPushButton* button : {saveButton_, printButton_, exitButton_}) button->setAutoDefault(false);

    clock_ = new QTimer(this);
    clock_->setObjectName(QStringLiteral("时钟1"));
    clock_->setInterval(1000);
    connect(clock_, &QTimer::timeout, this, [this] { setWindowTitle(QString::fromUtf8(kWindowTitle)); });
    clock_->start();

    connect(workbookCombo_, &QComboBox::activated, this, [this] { OnWorkbookChosen(); });
    connect(sheetCombo_, &QComboBox::activated, this, [this] { OnSheetChosen(); });
    connect(templateCombo_, &QComboBox::activated, this, [this] { OnTemplateChosen(); });
    connect(repeatBox_, &QCheckBox::clicked, this,
            [this] { ctx_.state.repeatMode = repeatBox_->isChecked(); });
    connect(multiRowBox_, &QCheckBox::clicked, this,
            [this] { ctx_.state.multiRowMode = multiRowBox_->isChecked(); });
    connect(pageSizeCombo_, &QComboBox::activated, this, [this] { OnPageSizeChosen(); });
    connect(modeCombo_, &QComboBox::activated, this, [this] { OnModeChosen(); });
    connect(firstLabel_, &LinkLabel::released, this, [this] { OnFirstPage(); });
    connect(previousLabel_, &LinkLabel::released, this, [this] { OnPreviousPage(); });
    connect(nextLabel_, &LinkLabel::released, this, [this] { OnNextPage(); });
    connect(lastLabel_, &LinkLabel::released, this, [this] { OnLastPage(); });
    connect(pageCombo_, &QComboBox::activated, this, [this] { OnPageChosen(); });
    connect(pageCombo_->lineEdit(), &QLineEdit::returnPressed, this, [this] { OnPageTyped(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { RequestSaveRun(); });
    connect(printButton_, &QPushButton::clicked, this, [this] { RequestPrintRun(); });
    connect(exitButton_, &QPushButton::clicked, this, [this] { OnExitClicked(); });
    // On press, not on release: a quick run may be over before the button is released.
    connect(stopButton_, &QPushButton::pressed, this, [this] { StopRun(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (stopButton_->isVisible() && stopButton_->isEnabled()) StopRun();
    });
}

void MainWindow::BuildFilterLine(QWidget* client) {
    MakeLabel(client, "筛选标签", "筛选：", 8, 67, 36, 20);
    filterColumn_ = MakeList(client, "筛选列组合框", false, 44, 68, 132, 20);
    filterColumn_->setToolTip(QStringLiteral("按哪一列的值选择记录"));
    filterTest_ = MakeList(client, "筛选条件组合框", false, 182, 68, 72, 20);
    for (FilterTest test : kFilterTests) filterTest_->addItem(ToQ(std::string(FilterTestName(test))));
    filterTest_->setCurrentIndex(0);
    filterValue_ = Place(new QLineEdit(client), "筛选值编辑框", 260, 68, 176, 20);
    filterValue_->setToolTip(
        QStringLiteral("数字和日期按大小比较（日期如 2024-03-05），其他文字比较时不区分英文字母大小写"));
    filterButton_ = Place(new QPushButton(QStringLiteral("筛选(&F)"), client), "筛选按钮", 442, 65, 64, 26);
    clearFilterButton_ =
        Place(new QPushButton(QStringLiteral("清除筛选"), client), "清除筛选按钮", 510, 65, 72, 26);
    previewButton_ = Place(new QPushButton(QStringLiteral("预览(&V)"), client), "预览按钮", 740, 65, 72, 26);
    previewButton_->setToolTip(
        QStringLiteral("看一看所选记录（没有选择时为本页第一条）将生成的文档；双击表格中的一行也可以"));
    for (QPushButton* button : {filterButton_, clearFilterButton_, previewButton_})
        button->setAutoDefault(false);
    connect(previewButton_, &QPushButton::clicked, this, [this] { OnPreviewRequested(0); });
    connect(filterButton_, &QPushButton::clicked, this, [this] { OnFilterApplied(); });
    connect(filterValue_, &QLineEdit::returnPressed, this, [this] { OnFilterApplied(); });
    connect(clearFilterButton_, &QPushButton::clicked, this, [this] { OnFilterCleared(); });
    // 为空 and 不为空 take no value.
    connect(filterTest_, &QComboBox::currentIndexChanged, this, [this](int index) {
        filterValue_->setEnabled(index < 0 || FilterTestTakesValue(kFilterTests[index]));
    });
}

void MainWindow::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("菜单栏"));
    auto add = [](QMenu* menu, const char* text, auto&& handler) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setObjectName(QString::fromUtf8(text));
        QObject::connect(action, &QAction::triggered, menu, handler);
        return action;
    };

    QMenu* tools = bar->addMenu(QStringLiteral("工具(&T)"));
    tools->setObjectName(QStringLiteral("工具(&T)"));
    tools->setToolTipsVisible(true);
    QAction* bookmarks = add(tools, "Word模板书签管理(&B)", [] {});
    bookmarks->setEnabled(false);
    add(tools, "强制关闭WORD程序（不保存）(&C)", [this] { OnForceCloseWord(); })
        ->setToolTip(QStringLiteral("结束本程序启动的文字处理程序（用来打开模板、转换格式和打印），"
                                    "其中的文档不保存；您自己打开的文档和程序不受影响"));
    // The office stays out of sight until the user asks to see the template in it.
    add(tools, "在Word中查看模板(&V)", [this] {
        OnShowTemplateInOffice();
    })->setToolTip(QStringLiteral("在本程序使用的文字处理程序中打开当前模板，可以查看和编辑书签"));
    tools->addSeparator();
    shownValuesAction_ = tools->addAction(QStringLiteral("按表格显示格式取值"));
    shownValuesAction_->setObjectName(QStringLiteral("按表格显示格式取值"));
    shownValuesAction_->setCheckable(true);
    connect(shownValuesAction_, &QAction::toggled, this, [this](bool on) { OnShownValuesToggled(on); });

    QMenu* help = bar->addMenu(QStringLiteral("帮助(&H)"));
    help->setObjectName(QStringLiteral("帮助(&H)"));
    QMenu* tutorials = help->addMenu(QStringLiteral("教程(&J)"));
    tutorials->setObjectName(QStringLiteral("教程(&J)"));
    tutorials->menuAction()->setObjectName(QStringLiteral("教程(&J)"));
    add(tutorials, "软件使用详细说明(&R)", [this] { OpenProgramFile("/帮助及教程/帮助.html"); });
    // The tutorials are pages of the help folder here, under the base names of the originals.
    add(tutorials, "Word模板插入书签视频教程(&M)",
        [this] { OpenProgramFile("/帮助及教程/插入书签视频教程.html"); });
    add(tutorials, "数据插入并保存到Word视频教程(&S)",
        [this] { OpenProgramFile("/帮助及教程/保存到Word视频教程.html"); });
    add(tutorials, "数据插入到Word并打印视频教程(&P)",
        [this] { OpenProgramFile("/帮助及教程/插入到Word并打印视频教程.html"); });
    add(help, "下载模板(&D)", [this] { OpenOnDesktop(std::string(kTemplateDownloadUrl)); });
    add(help, "下载新版本(&N)", [this] { OpenOnDesktop(std::string(kDownloadUrl)); });
    add(help, "关于(&A)", [this] { OnAbout(); });
}

void MainWindow::Created() {
    ProgramState& state = ctx_.state;
    setWindowTitle(QString::fromUtf8(kWindowTitle));
    state.programFolder = ctx_.programFolder;
    folderWatcher_ = new QFileSystemWatcher(this);
    refreshTimer_ = new QTimer(this);
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(300);  // a file being copied changes its folder many times
    connect(folderWatcher_, &QFileSystemWatcher::directoryChanged, refreshTimer_,
            qOverload<>(&QTimer::start));
    connect(refreshTimer_, &QTimer::timeout, this, [this] { RefreshLists(); });
    FillWorkbookList(ctx_.settings.GetExcelPath());
    templateFolder_ = ctx_.settings.GetWordPath();
    FillFileList(templateFolder_, kTemplateExtensions, templateCombo_);
    WatchListFolders();
    model_->setPage(10, 10, {}, {}, 0, 0);
    state.recordsPerPage = 10;
    state.currentPage = 1;
    SetCurrentQuietly(modeCombo_, 0);
    startBox_->setBoxText(QStringLiteral("1"));
    endBox_->setBoxText(QStringLiteral("10"));
    unitLabel_->setText(QStringLiteral("条"));
    state.multiRowMode = multiRowBox_->isChecked();
    state.repeatMode = repeatBox_->isChecked();
    state.valueStyle = ctx_.settings.GetShownValues() ? data::ValueStyle::Shown : data::ValueStyle::Raw;
    // Nothing to filter before a sheet is shown.
    UpdateFilterColumns();
    {
        const QSignalBlocker blocker(shownValuesAction_);
        shownValuesAction_->setChecked(state.valueStyle == data::ValueStyle::Shown);
    }
    // A settings store that cannot be read or written is told once, when the window is up; the
    // program goes on with what it has.
    ctx_.settings.SetProblemObserver([this](const std::string& problem) {
        QTimer::singleShot(0, this, [this, problem] {
            ctx_.dialogs.message(problem, "", Buttons::Ok, MessageIcon::Warning);
        });
    });
}

namespace {

// The files of `folder` ending in one of `extensions` (blank-separated, any letter case), sorted
// by name.
std::vector<std::string> FilesEndingIn(const std::string& folder, const std::string& extensions) {
    std::vector<std::string> files;
    for (const std::string& one : SplitText(extensions, " ")) {
        if (one.empty()) continue;
        for (std::string& file : ListFiles(folder, one))
            if (std::find(files.begin(), files.end(), file) == files.end()) files.push_back(std::move(file));
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The workbooks of `folder`: every file of a format the program reads, as listed.
std::vector<std::string> WorkbooksIn(const std::string& folder) {
    std::vector<std::string> files;
    for (std::string& file : ListFiles(folder, ""))
        if (data::IsWorkbookFileName(file)) files.push_back(std::move(file));
    return files;
}

// `files` then the browse item; the one equal to `name` current, else none.
void FillList(QComboBox* combo, const std::vector<std::string>& files, const std::string& name) {
    const QSignalBlocker blocker(combo);
    combo->clear();
    int current = -1;
    for (const std::string& file : files) {
        if (current < 0 && !name.empty() && file == name) current = combo->count();
        combo->addItem(ToQ(file));
    }
    combo->addItem(QString::fromUtf8(kBrowseItem));
    combo->setCurrentIndex(current);
}

// The file chosen in a file list; "" for none or the browse item.
std::string ChosenFile(const QComboBox* combo) {
    const int index = combo->currentIndex();
    if (index < 0 || index == combo->count() - 1) return {};
    return FromQ(combo->currentText());
}

// Refills `combo` with `files` unless it lists them already. The chosen file stays chosen; one
// that is gone stays listed until the user chooses another.
void RefreshList(QComboBox* combo, std::vector<std::string> files) {
    const std::string chosen = ChosenFile(combo);
    if (!chosen.empty() && std::find(files.begin(), files.end(), chosen) == files.end())
        files.insert(std::lower_bound(files.begin(), files.end(), chosen), chosen);
    std::vector<std::string> listed;
    for (int i = 0; i + 1 < combo->count(); ++i) listed.push_back(FromQ(combo->itemText(i)));
    if (listed == files) return;  // an open list is left alone
    FillList(combo, files, chosen);
}

}  // namespace

void MainWindow::FillFileList(const std::string& folder, const std::string& extension, QComboBox* combo,
                              const std::string& name) {
    FillList(combo, FilesEndingIn(folder, extension), name);
}

void MainWindow::FillWorkbookList(const std::string& folder, const std::string& name) {
    workbookFolder_ = folder;
    FillList(workbookCombo_, WorkbooksIn(folder), name);
}

void MainWindow::WatchListFolders() {
    if (!folderWatcher_) return;
    if (!folderWatcher_->directories().isEmpty()) folderWatcher_->removePaths(folderWatcher_->directories());
    for (const std::string& folder : {workbookFolder_, templateFolder_})
        if (!folder.empty() && DirectoryExists(folder)) folderWatcher_->addPath(ToQ(folder));
}

void MainWindow::RefreshLists() {
    RefreshList(workbookCombo_, WorkbooksIn(workbookFolder_));
    RefreshList(templateCombo_, FilesEndingIn(templateFolder_, kTemplateExtensions));
    WatchListFolders();  // a folder made again after it was removed is watched again
}

void MainWindow::SetCurrentQuietly(QComboBox* combo, int index) {
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(index);
}

// --- File choice -------------------------------------------------------------------------

void MainWindow::OnWorkbookChosen() {
    const int index = workbookCombo_->currentIndex();
    if (index < 0 || index != workbookCombo_->count() - 1) {
        ConnectCurrentWorkbook();
        return;
    }
    lastFilter_ = "Excel文件(*.xls *.xlsx *.xlsm *.ods *.csv)";
    const std::string path =
        ctx_.dialogs.getOpenFileName("打开Excel数据文件", ctx_.settings.GetExcelPath(), lastFilter_);
    if (path.empty()) return;
    ctx_.settings.SetExcelPath(FolderOfPath(path));
    FillWorkbookList(FolderOfPath(path), NameOfPath(path));
    WatchListFolders();
    ConnectCurrentWorkbook();
}

// The chosen workbook: its sheets are listed, none current. No file current empties the list.
// Either way the grid empties, so that rows of the workbook chosen before never stand under
// this one's name; a workbook that cannot be read says why.
void MainWindow::ConnectCurrentWorkbook() {
    const int index = workbookCombo_->currentIndex();
    ClearSheetView();
    if (index < 0 || index == workbookCombo_->count() - 1) return;
    const std::string name = FromQ(workbookCombo_->currentText());
    const std::string path = ctx_.settings.GetExcelPath() + name;
    ctx_.state.workbookPath = path;
    const std::vector<std::string> names = data::SheetTables(path, &ctx_.state.workbooks);
    {
        const QSignalBlocker blocker(sheetCombo_);
        for (const std::string& sheet : names) sheetCombo_->addItem(ToQ(sheet));
        sheetCombo_->setCurrentIndex(-1);
    }
    if (!names.empty()) return;
    const std::string problem = data::WorkbookProblemAt(path, &ctx_.state.workbooks);
    ctx_.dialogs.message(
        problem.empty() ? "Excel文件“" + name + "”中没有工作表。" : WorkbookProblemText(name, problem), "",
        Buttons::Ok, MessageIcon::Warning);
}

void MainWindow::ClearSheetView() {
    ProgramState& state = ctx_.state;
    {
        const QSignalBlocker sheets(sheetCombo_);
        sheetCombo_->clear();
        const QSignalBlocker pages(pageCombo_);
        pageCombo_->clear();
    }
    sheetCombo_->setNote({});
    model_->setPage(state.recordsPerPage, 10, {}, {}, 0, 0);
    grid_->selectionModel()->clear();
    state.currentPage = 1;
    state.recordCount = 0;
    state.sheetRecordCount = 0;
    state.columnTitles.clear();
    state.filters.clear();
    MatchTitles(state);
    UpdateMatchLine();
    UpdateRangeLimits();
    UpdateFilterColumns();
    UpdateRunButtons();
}

void MainWindow::OnTemplateChosen() {
    const int index = templateCombo_->currentIndex();
    if (index < 0) {
        ctx_.dialogs.message("模板没选择", "", Buttons::Ok, MessageIcon::None);
        return;
    }
    if (index != templateCombo_->count() - 1) {
        OpenTemplateAt(ctx_.settings.GetWordPath() + FromQ(templateCombo_->currentText()));
        return;
    }
    lastFilter_ = "Word文档(*.doc *.docx)";
    const std::string path =
        ctx_.dialogs.getOpenFileName("打开Word模板文档", ctx_.settings.GetWordPath(), lastFilter_);
    if (path.empty()) return;
    ctx_.settings.SetWordPath(FolderOfPath(path));
    templateFolder_ = FolderOfPath(path);
    FillFileList(templateFolder_, kTemplateExtensions, templateCombo_, NameOfPath(path));
    WatchListFolders();
    OpenTemplateAt(path);
}

// The office is not shown: it comes up only when the user asks to see the template in it.
void MainWindow::OpenTemplateAt(const std::string& path) {
    const bool opened = !ctx_.host.OpenTemplate(path).empty();
    ReadTemplateBookmarks();
    BringToFront();
    // Without this the first run would blame the template's bookmarks, and the match line would
    // say the template holds none.
    if (opened) {
        templateProblem_.clear();
        return;
    }
    const engine::OpenResult read = ctx_.host.TemplateAt(path);
    templateProblem_ = TemplateProblemText(NameOfPath(path), read ? std::string() : read.refusal, false);
    UpdateMatchLine();
    ctx_.dialogs.message(templateProblem_, "", Buttons::Ok, MessageIcon::Warning);
}

void MainWindow::ReadTemplateBookmarks() {
    ctx_.state.templateBookmarks = SplitList(ctx_.host.ListBookmarks());
    ctx_.state.templateUnfillable = ctx_.host.UnfillableBookmarks();
    MatchTitles(ctx_.state);
}

void MainWindow::BringToFront() {
    // The offscreen platform of the tests has no window stacking.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return;
    raise();
    activateWindow();
}

// --- Menus ---------------------------------------------------------------------------------

// Help pages open in a window of the program's own, which needs no web browser.
void MainWindow::OpenProgramFile(const char* relativePath) {
    const std::string path = ctx_.programFolder + relativePath;
    if (!HelpWindow::CanShow(path)) {
        ctx_.dialogs.message("找不到帮助文件：\r\n" + path + "\r\n请重新安装软件。", "", Buttons::Ok,
                             MessageIcon::Warning);
        return;
    }
    if (!help_) help_ = new HelpWindow([this](const std::string& address) { OpenOnDesktop(address); }, this);
    help_->showPage(path);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void MainWindow::OpenOnDesktop(const std::string& target) {
    ctx_.opener.open(target, [window = QPointer<MainWindow>(this), target](bool opened) {
        if (!opened && window)
            window->ctx_.dialogs.message(CannotOpenText(target), "", Buttons::Ok, MessageIcon::Warning);
    });
}

void MainWindow::OnAbout() {
    AboutWindow about(ctx_.opener, ctx_.programFolder, this, &ctx_.dialogs);
    about.exec();
}

void MainWindow::OnShowTemplateInOffice() {
    if (!TemplateChosen()) {
        ctx_.dialogs.message("请先选择Word模板！", "", Buttons::Ok, MessageIcon::None);
        return;
    }
    const std::string path = ctx_.settings.GetWordPath() + CurrentTemplateItem();
    word::WordHost& host = ctx_.host;
    if (host.CurrentRoute() != word::Route::Office || host.CurrentTemplatePath() != path ||
        !host.IsDocumentOpen()) {
        if (host.OpenTemplate(path, word::Route::Office).empty()) {
            ctx_.dialogs.message("无法在Word中打开模板“" + CurrentTemplateItem() + "”。", "", Buttons::Ok,
                                 MessageIcon::Warning);
            return;
        }
        ReadTemplateBookmarks();
        templateProblem_.clear();
        UpdateMatchLine();
    }
    host.ShowWord();
}

void MainWindow::OnShownValuesToggled(bool on) {
    ctx_.settings.SetShownValues(on);
    ctx_.state.valueStyle = on ? data::ValueStyle::Shown : data::ValueStyle::Raw;
    // The grid shows what the documents get.
    LoadPage();
}

void MainWindow::OnExitClicked() {
    if (!RunGoing()) {
        emit endProgramRequested();
        return;
    }
    if (afterRun_ == AfterRunStep::None && AskToStopRun()) afterRun_ = AfterRunStep::Exit;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    KeepFixedFrame(*this, true);
    // Once more when the window is mapped, in case the platform wrote its own hints meanwhile.
    QTimer::singleShot(0, this, [this] { KeepFixedFrame(*this, true); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!RunGoing()) {
        // The help window would otherwise keep the program running without its main window.
        if (help_) help_->close();
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (afterRun_ == AfterRunStep::None && AskToStopRun()) afterRun_ = AfterRunStep::Close;
}

void MainWindow::StopRun() {
    worker_->stop();
    stopButton_->setText(QStringLiteral("正在停止…"));
    stopButton_->setEnabled(false);
}

bool MainWindow::AskToStopRun() {
    const Answer answer = ctx_.dialogs.message(
        "正在生成文档，是否停止？\r\n选择“是”将在当前文档完成后停止，已生成的文档会保留。", "停止确认",
        Buttons::YesNo, MessageIcon::Question);
    if (answer != Answer::Yes) return false;
    StopRun();
    return true;
}

void MainWindow::AfterRun() {
    const AfterRunStep step = afterRun_;
    afterRun_ = AfterRunStep::None;
    // Once the run's frames have returned.
    if (step == AfterRunStep::Close) QTimer::singleShot(0, this, [this] { close(); });
    if (step == AfterRunStep::Exit) QTimer::singleShot(0, this, [this] { emit endProgramRequested(); });
}

void MainWindow::OnForceCloseWord() {
    ctx_.host.ForceCloseWord(ctx_.dialogs);
}

PageModel& MainWindow::pageModel() {
    return *model_;
}

void MainWindow::setProgressObserver(std::function<void(int)> observer) {
    progressObserver_ = std::move(observer);
}

void MainWindow::setPrinterSource(std::function<std::string()> source) {
    printerSource_ = std::move(source);
}

}  // namespace qm::gui
