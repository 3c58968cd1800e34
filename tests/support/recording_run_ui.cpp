#include "tests/support/recording_run_ui.h"

#include "app/core/run_messages.h"
#include "common/text.h"
#include "merge/program_state.h"
#include "merge/run_plan.h"

namespace qm::test {

void RecordingRunUi::progress(const RunProgress& now) {
    if (now.phase == RunPhase::Making) {
        progressMaximum = now.total;
        progressPositions.push_back(now.done);
    }
    progressLines.push_back(ProgressText(now, 0, false));
    if (onProgress) onProgress(now.done);
}

RunOutcome RunMerge(ProgramState& state, word::WordHost& host, RecordingRunUi& ui,
                    const RunRequest& request) {
    RunPlanner planner(state.workbooks, host);
    RunChoice choice;
    choice.workbookPath = state.workbookPath;
    choice.table = request.sheetName;
    choice.templatePath = request.templatePath;
    choice.multiRowMode = state.multiRowMode;
    choice.repeatMode = state.repeatMode;
    choice.valueStyle = state.valueStyle;
    if (planner.Open(choice)) return {};
    // The run is given the rows as asked: one past the last row makes nothing.
    RunOutput output;
    output.kind = request.kind;
    output.folder = state.outputFolder;
    output.referenceName = state.referenceName;
    output.extension = request.extension;
    output.nameColumn = request.nameColumn;
    output.singleFile = request.singleFile;
    MergeJob job = planner.TakeJob(output);
    job.request.start = request.start;
    job.request.end = request.end;
    state.sheetQuery = MergeQuery(planner.matchedTitles(), request.sheetName);
    MergeRun run(std::move(job), host, ui);
    const RunOutcome outcome = run.Execute();
    for (const ClosingMessage& message : ClosingMessages(outcome)) {
        if (!message.asksToOpenFolder) {
            ui.RecordMessage(message.text, message.caption, message.icon, false);
        } else if (ui.RecordMessage(message.text, message.caption, message.icon, true)) {
            ui.openFolder(outcome.outputFolder);
        }
    }
    return outcome;
}

}  // namespace qm::test
