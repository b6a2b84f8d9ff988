#include "tools/pack/cli/verb_report.h"

#include <exception>
#include <iostream>

#include "payload/payload_fault.h"
#include "tools/pack/cli/command_refusal.h"
#include "tools/pack/cli/exit_status.h"
#include "tools/pack/cli/fault_kind.h"
#include "tools/pack/crash/minidump_reader.h"
#include "tools/pack/examine/payload_extraction.h"
#include "tools/pack/examine/payload_files.h"
#include "tools/pack/examine/payload_source.h"
#include "tools/pack/packing/pack_refusal.h"

namespace qvn::pack {
namespace {

// The kind of a failure found by verification: the launcher's fault, or
// the packer's own for a file that is no well-formed executable.
std::string VerificationKind(const std::optional<PayloadFault>& fault) {
  return fault ? std::string(PayloadFaultKind(*fault)) : "malformed-executable";
}

// "<subject>: <message>" as verify prints it, split at its first ": ".
FaultProblem VerificationProblem(const VerificationFailure& failure) {
  const std::size_t colon = failure.text.find(": ");
  return {failure.text.substr(0, colon), VerificationKind(failure.fault),
          colon == std::string::npos ? failure.text : failure.text.substr(colon + 2)};
}

// Paths and names need not be UTF-8 on Linux: such bytes are written as
// U+FFFD rather than failing the report.
std::string Dump(const nlohmann::json& document) {
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

nlohmann::json ToJson(const Fault& fault) {
  nlohmann::json error = {{"kind", fault.kind}, {"message", fault.message}, {"problems", nlohmann::json::array()}};
  for (const FaultProblem& problem : fault.problems) {
    error["problems"].push_back({{"subject", problem.subject}, {"kind", problem.kind}, {"message", problem.message}});
  }
  return error;
}

}  // namespace

Fault CurrentFault(const std::string& subject) {
  const std::string prefix = subject.empty() ? "" : subject + ": ";
  try {
    throw;
  } catch (const PackRefused& refusal) {
    Fault fault{"game-refused", prefix + refusal.what(), {}};
    for (const PackProblem& problem : refusal.problems()) {
      fault.problems.push_back({problem.path,
                                problem.fault ? std::string(PayloadFaultKind(*problem.fault)) : "game-folder",
                                problem.reason});
    }
    return fault;
  } catch (const ExtractionRefused& refusal) {
    Fault fault{refusal.failures().empty() ? "extraction-target" : "damaged", prefix + refusal.what(), {}};
    for (const VerificationFailure& failure : refusal.failures())
      fault.problems.push_back(VerificationProblem(failure));
    return fault;
  } catch (const PayloadFilesRefused& refusal) {
    return VerificationFault(prefix + refusal.what(), refusal.failures());
  } catch (const PayloadSourceError& error) {
    return {VerificationKind(error.fault()), prefix + error.what(), {}};
  } catch (const PayloadError& error) {
    return {std::string(PayloadFaultKind(error.fault())), prefix + error.what(), {}};
  } catch (const CommandRefused& refusal) {
    return {std::string(CommandFaultKind(refusal.fault())), prefix + refusal.what(), {}};
  } catch (const DumpError& error) {
    return {std::string(DumpFaultKind(error.kind())), prefix + error.what(), {}};
  } catch (const std::exception& error) {
    // Reading or writing a file, or a fault of the packer's own.
    return {"failed", prefix + error.what(), {}};
  }
}

Fault VerificationFault(const std::string& message, const std::vector<VerificationFailure>& failures) {
  Fault fault{"damaged", message, {}};
  for (const VerificationFailure& failure : failures) fault.problems.push_back(VerificationProblem(failure));
  return fault;
}

nlohmann::json VerbReport::Document(bool ok) const { return {{"format", kJsonFormat}, {"command", verb_}, {"ok", ok}}; }

int VerbReport::Succeed(const nlohmann::json& fields, const std::string& human) const {
  if (!json_) {
    std::cout << human;
    return kExitSuccess;
  }
  nlohmann::json document = Document(true);
  document.update(fields);
  std::cout << Dump(document);
  return kExitSuccess;
}

int VerbReport::FailCheck(const nlohmann::json& fields, const std::string& human, const Fault& fault) const {
  if (!json_) {
    std::cout << human;
    return kExitRefused;
  }
  nlohmann::json document = Document(false);
  document.update(fields);
  document["error"] = ToJson(fault);
  std::cout << Dump(document);
  return kExitRefused;
}

int VerbReport::Refuse(const Fault& fault) const {
  if (!json_) {
    std::cerr << "qvn_pack: " << fault.message << "\n";
    return kExitRefused;
  }
  nlohmann::json document = Document(false);
  document["error"] = ToJson(fault);
  std::cout << Dump(document);
  return kExitRefused;
}

std::string ErrorDocument(const std::string& verb, const std::string& kind, const std::string& message) {
  nlohmann::json document = {{"format", kJsonFormat},
                             {"command", verb.empty() ? nlohmann::json(nullptr) : nlohmann::json(verb)},
                             {"ok", false},
                             {"error", {{"kind", kind}, {"message", message}, {"problems", nlohmann::json::array()}}}};
  return Dump(document);
}

}  // namespace qvn::pack
