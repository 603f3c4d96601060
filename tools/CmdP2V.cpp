//===- CmdP2V.cpp - zyvmconvert p2v REQUEST.xml --to K --------------------===//
#include "Commands.h"
#include "Report.h"

#include "jobs/P2VJob.h"
#include "jobs/RecordJson.h"
#include "jobs/RestoreJob.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

nlohmann::json RequestJson(const RestoreCtx& request) {
  nlohmann::json json;
  std::string error;
  if (!RestoreCtxToJson(request, json, error)) throw ToolError(error);
  return json;
}

void PrintRestoreContext(const RestoreCtx& request) {
  Print("  Restore request:\n");
  Print("    source VM:    %s (%s)\n", request.strSourceVMName.c_str(),
        request.strSourceVMGUID.c_str());
  Print("    destination:  host %s, datastore %s%s%s\n",
        request.strDestinationHost.empty() ? "-"
                                           : request.strDestinationHost.c_str(),
        request.strDatastore.empty() ? "-" : request.strDatastore.c_str(),
        request.strRegion.empty() ? "" : ", region ",
        request.strRegion.c_str());
  Print("    OS value:     %s\n",
        request.osName.empty() ? "-" : request.osName.c_str());
  Print("    disks:        %zu, network cards: %zu\n", request.vDisks.size(),
        request.vNetworkCards.size());
}

}  // namespace

int RunP2V(const GlobalOptions& global, const P2VOptions& options) {
  VirtualServerInstanceType destination = DestinationKindFromText(options.to);
  RestoreCtx request;
  SJobError error;
  ConsoleObserver observer;
  Require(TranslatePhysicalMachine(options.request, destination,
                                   options.guestOS, observer, request, error),
          error);
  if (!options.saveRequest.empty())
    Require(WriteRestoreRequest(options.saveRequest, request, error), error);
  ResultFacts facts = PhysicalMachineFacts(request, destination);
  if (global.json) {
    nlohmann::json result = DescriptionJson(request.vmInfo, facts);
    result["restoreCtx"] = RequestJson(request);
    Print("%s\n", result.dump(2).c_str());
    return 0;
  }
  PrintDescription(request.vmInfo, facts);
  PrintRestoreContext(request);
  if (!options.saveRequest.empty())
    Print("  Saved as %s\n", options.saveRequest.c_str());
  return 0;
}

void AddP2VCommand(CLI::App& app, const GlobalOptions& global,
                   CommandRun& run) {
  auto options = std::make_shared<P2VOptions>();
  CLI::App* cmd = app.add_subcommand(
      "p2v",
      "Turn a physical machine's restore request (XML) into a VM description");
  cmd->add_option("request", options->request,
                  "Restore request with a recovery response, XML")
      ->required()
      ->check(CLI::ExistingFile);
  cmd->add_option("--to", options->to, "Destination platform kind")->required();
  cmd->add_option("--guest-os", options->guestOS,
                  "The machine's OS (\"Windows Server 2016 Standard\"), "
                  "when its backup client is not configured");
  cmd->add_option("--save-request", options->saveRequest,
                  "Write the restore request as JSON, ready for 'restore'");
  cmd->callback([&run, &global, options] {
    run = [&global, options] { return RunP2V(global, *options); };
  });
}

}  // namespace zytool
