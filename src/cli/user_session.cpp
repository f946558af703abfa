#include "cli/user_session.h"

#include <fmt/format.h>

namespace zarnik::cli {

void printError(const std::string& message) { fmt::print(stderr, "zarnik: {}\n", message); }

std::shared_ptr<DuplicatesDetectionSession> restoreUserSession(
    const std::shared_ptr<ScanningService>& service) {
  return restoreSession(DuplicatesDetectionSpec::current(service));
}

std::shared_ptr<DuplicatesDetectionSession> restoreSession(const DuplicatesDetectionSpec& spec) {
  auto restored = DuplicatesDetectionSession::restore(spec).wait();
  if (restored.hasError()) {
    printError(restored.error().oneLine());
    return nullptr;
  }
  auto session = restored.value();
  session->queue()->sync([&] {
    if (const auto& movedTo = session->stateMovedAsideTo()) {
      printError(fmt::format(
          "{}: the session state was damaged and is moved aside to {}; the stored results are kept",
          session->spec().urlOfStateFile(), *movedTo));
    }
    if (const auto& results = session->results(); results && results->movedAsideTo()) {
      printError(fmt::format("{}: the stored results were damaged; moved aside to {}",
                             session->spec().urlOfStateDB(), *results->movedAsideTo()));
    }
  });
  return session;
}

std::shared_ptr<DuplicatesDetectionResults> reviewedResults(DuplicatesDetectionSession& session) {
  std::shared_ptr<DuplicatesDetectionResults> results;
  session.queue()->sync([&] {
    if (std::holds_alternative<ReviewingStatus>(session.status())) results = session.results();
  });
  if (!results) printError("there are no stored results; run `zarnik scan` first");
  return results;
}

std::shared_ptr<DuplicatesDetectionResults> resultsForChanging(
    DuplicatesDetectionSession& session) {
  auto results = reviewedResults(session);
  if (!results) return nullptr;
  if (auto settled = results->settleCutOffCleanings().wait(); settled.hasError()) {
    printError("the records of an earlier cleaning that was cut off cannot be settled: " +
               settled.error().oneLine());
    return nullptr;
  }
  return results;
}

}  // namespace zarnik::cli
