//===- CmdRestore.cpp - zyvmconvert restore REQUEST --from K --to K -------===//
#include "Commands.h"
#include "RestoreJob.h"

namespace zytool {

int RunRestore(const GlobalOptions& global, const RestoreOptions& options) {
  RestoreJob job;
  job.source = KindFromText(options.from);
  job.destination = KindFromText(options.to);
  job.root = RequirePlatformRoot(global);
  job.sourceFolder = options.sourceFolder;
  job.request = ReadRestoreRequest(options.request);
  RestoreOutcome outcome = RunRestoreJob(job);
  if (global.json)
    Print("%s\n",
          DescriptionJson(outcome.description, outcome.facts).dump(2).c_str());
  else
    PrintDescription(outcome.description, outcome.facts);
  return 0;
}

}  // namespace zytool
