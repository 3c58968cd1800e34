#pragma once
// The start-up window: the two file choosers, the worksheet chooser, the mode switches, the
// grid with its paging and range controls, the two run buttons and the menus.

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "merge/preview.h"

class QComboBox;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QMenu;
class QTableView;
class QTimer;
class QAction;
class QCloseEvent;
class QFileSystemWatcher;
class QLineEdit;
class QTemporaryDir;

namespace qm {
struct MatchReport;
struct MergeJob;
struct ProgramState;
struct RunOutcome;
struct RunOutput;
struct RunProgress;
class AppSettings;
class RunPlanner;
namespace word {
class WordHost;
}
}  // namespace qm

namespace qm::gui {

class GuiDialogs;
class Opener;
class LinkLabel;
class RangeBox;
class PageModel;
class PreviewWindow;
class NoteComboBox;
class HelpWindow;
class RunWorker;
class InputsDisabled;

// QM_VERSION is the project's version, set by the build.
inline constexpr const char* kWindowTitle = "Quillmerge　V" QM_VERSION;
inline constexpr const char* kBrowseItem = "浏览...";
// The templates the choosers list: Word's binary and XML documents.
inline constexpr const char* kTemplateExtensions = ".doc .docx";

// What the window works on; all owned by start-up and outliving the window.
struct WindowContext {
    ProgramState& state;
    word::WordHost& host;
    AppSettings& settings;
    GuiDialogs& dialogs;
    Opener& opener;
    std::string programFolder;  // no trailing "/"
};

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Builds the window and runs its "created" handler (lists filled, grid empty, defaults set).
    explicit MainWindow(WindowContext context, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Refills `combo` with the files of `folder` ending in `extension` (any letter case; several
    // separated by blanks), sorted by name, then the browse item. The item equal to `name` becomes current;
    // without one nothing is current.
    static void FillFileList(const std::string& folder, const std::string& extension, QComboBox* combo,
                             const std::string& name = {});

    // Data browsing.
    void LoadPage();
    void UpdateRangeLimits();
    // Sizes the grid's columns to the title and the first values of each column.
    void FitColumns();

    // The two merge requests of the run buttons.
    void RequestSaveRun();
    void RequestPrintRun();

    // True from the start of a run until its closing messages have been answered.
    bool RunGoing() const;
    // Called with the documents done each time a run reports progress (tests, screenshots).
    // While one is set, the run waits after each report until it has been called.
    void setProgressObserver(std::function<void(int)> observer);
    // Where a print request learns the default printer's name ("" when there is none); the
    // system's print settings unless set.
    void setPrinterSource(std::function<std::string()> source);

    // Title row and cells as the grid shows them; rows and columns from 0 (row 0 = first
    // record of the page).
    PageModel& pageModel();
    QTableView* grid() const { return grid_; }

    // The match line's menu, which marks the columns whose values name pictures, built for the
    // current sheet and template (the window shows it on a click of the match line); null when
    // no column fills a bookmark. Owned by the caller.
    QMenu* MakePictureColumnMenu();

  signals:
    // EndProgram: the exit button was clicked.
    void endProgramRequested();

  protected:
    // During a run, asks whether to stop it; the window closes once the run has ended.
    void closeEvent(QCloseEvent* event) override;
    // The frame offers no maximize button: the window has one size.
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void BuildMenus();
    // Rows chosen by their values (filtering.cpp): a column, a test and a value over the grid.
    void BuildFilterLine(QWidget* client);
    void OnFilterApplied();
    void OnFilterCleared();
    // The filter line's columns follow the sheet shown; a filter goes with its sheet.
    void UpdateFilterColumns();
    // The run buttons are off while a filter leaves no row.
    void UpdateRunButtons();
    // True while a run or a preview works on the inputs: nothing may turn them on meanwhile.
    bool InputsLocked() const { return inputsLocked_ != nullptr; }
    // The preview of row `row` of the run's list (preview.cpp); 0: the row chosen in the grid.
    void OnPreviewRequested(int row);
    void ShowPreviewOf(const RunChoice& choice, int row);
    std::string PreviewProblemText(const PlanProblem& problem) const;
    void Created();

    // Handlers.
    void OnWorkbookChosen();
    void OnTemplateChosen();
    void ConnectCurrentWorkbook();
    void OpenTemplateAt(const std::string& path);
    void BringToFront();
    void OnSheetChosen();
    void OnPageSizeChosen();
    void OnPageChosen();
    void OnFirstPage();
    void OnPreviousPage();
    void OnNextPage();
    void OnLastPage();
    void OnModeChosen();
    void OnAbout();
    void OnForceCloseWord();
    void OnShowTemplateInOffice();
    void OnShownValuesToggled(bool on);
    void OnPageTyped();
    void OnExitClicked();
    void OpenProgramFile(const char* relativePath);
    // Opens a web address or a folder on the desktop; says so, with the text to copy, when the
    // desktop has nothing to open it with.
    void OpenOnDesktop(const std::string& target);
    // The workbook list of `folder`: every file of a format the program reads.
    void FillWorkbookList(const std::string& folder, const std::string& name = {});
    // No sheet shown: the sheet list, the grid, the page list and the titles emptied.
    void ClearSheetView();
    // The workbook and template lists follow their folders on disk: files added or removed
    // there show without browsing again. A refill keeps the current choice (also a chosen file
    // that is gone) and fires no choice handler.
    void WatchListFolders();
    void RefreshLists();

    // The controls a run disables while it goes.
    QList<QWidget*> RunInputs() const;
    std::string CurrentTemplateItem() const;
    bool TemplateChosen() const;
    // Says that a run is going, when one is; true then.
    bool RefuseWhileRunning();
    // The checks before a run is asked for, in the order a user fixes them: workbook, sheet,
    // range, template, matching titles. The first failing one is said in a message. A preview
    // (`range` false) does not depend on the range boxes.
    bool PlanRun(RunPlanner& planner, bool range = true);
    // Hands the job to the run thread; the window stays live meanwhile.
    void StartRun(MergeJob job);
    void ShowRunProgress(const RunProgress& now);
    void FinishRun(const RunOutcome& outcome);
    // The template's bookmarks, for the match line.
    void ReadTemplateBookmarks();
    // Before the first print job: the printer and the number of documents, to be agreed to.
    bool ConfirmPrintRun(int documents);
    // The stop button or Esc during a save run: it ends after the current document.
    void StopRun();
    // Asks, during a run, whether to stop it; true when the user said yes.
    bool AskToStopRun();
    // What the window does once a run it was asked to leave has ended.
    void AfterRun();
    void SetCurrentQuietly(QComboBox* combo, int index);

    // What a run would fill and how a save run names and writes its files (output_choices.cpp).
    void BuildMatchLine();
    void UpdateMatchLine();
    MatchReport CurrentMatchReport() const;
    // The picture columns remembered for the chosen template.
    std::vector<std::string> PictureColumns() const;
    void SetPictureColumn(const std::string& title, bool picture);
    bool ConfirmEmptyBookmarks(const MatchReport& report);
    bool AskOutputNaming(const RunPlanner& planner, RunOutput& output, const std::string& proposedFolder,
                         const std::string& templateBase, std::string& chosenFolder);
    bool ChooseNameColumn(const RunPlanner& planner, RunOutput& output);

    WindowContext ctx_;
    std::unique_ptr<RunWorker> worker_;
    std::unique_ptr<InputsDisabled> inputsLocked_;
    bool runGoing_ = false;
    bool runPrint_ = false;
    QElapsedTimer runClock_;
    std::function<void(int)> progressObserver_;
    std::function<std::string()> printerSource_;
    // Set when the user closed the window or clicked exit during a run and chose to stop it.
    enum class AfterRunStep { None, Close, Exit } afterRun_ = AfterRunStep::None;
    QPointer<HelpWindow> help_;
    // The folders the workbook and template lists show, watched for changes.
    std::string workbookFolder_;
    std::string templateFolder_;
    QFileSystemWatcher* folderWatcher_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    // The file dialogs share one filter setting: the save dialog shows whatever filter the last
    // browse dialog set.
    std::string lastFilter_ = "用户文档(*.doc)";

    QComboBox* workbookCombo_ = nullptr;
    NoteComboBox* sheetCombo_ = nullptr;
    QComboBox* templateCombo_ = nullptr;
    QCheckBox* repeatBox_ = nullptr;
    QCheckBox* multiRowBox_ = nullptr;
    QComboBox* pageSizeCombo_ = nullptr;
    QTableView* grid_ = nullptr;
    PageModel* model_ = nullptr;
    QProgressBar* progress_ = nullptr;
    RangeBox* startBox_ = nullptr;
    RangeBox* endBox_ = nullptr;
    QLabel* unitLabel_ = nullptr;
    QComboBox* modeCombo_ = nullptr;
    LinkLabel* firstLabel_ = nullptr;
    LinkLabel* previousLabel_ = nullptr;
    LinkLabel* nextLabel_ = nullptr;
    LinkLabel* lastLabel_ = nullptr;
    QComboBox* pageCombo_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* printButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QAction* shownValuesAction_ = nullptr;
    QTimer* clock_ = nullptr;
    QLabel* matchLabel_ = nullptr;
    QComboBox* filterColumn_ = nullptr;
    QComboBox* filterTest_ = nullptr;
    QLineEdit* filterValue_ = nullptr;
    QPushButton* filterButton_ = nullptr;
    QPushButton* clearFilterButton_ = nullptr;
    QPushButton* previewButton_ = nullptr;
    QPointer<PreviewWindow> previewWindow_;
    bool previewBusy_ = false;  // a preview is being made on the run thread
    // Previews made, by row, for the choice they were made from; in a folder of their own.
    std::string previewKey_;
    std::map<int, Preview> previews_;
    std::unique_ptr<QTemporaryDir> previewFolder_;
    int previewsMade_ = 0;
    RunChoice previewChoice_;  // the choice of the latest preview
    // The empty bookmarks the user agreed to run with, and for which template, sheet and modes.
    std::string emptyBookmarksAccepted_;
    // Why the chosen template gave no working document, as the user was told; "" when it opened.
    std::string templateProblem_;
};

}  // namespace qm::gui
