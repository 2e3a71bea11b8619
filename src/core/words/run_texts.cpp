#include "words/run_texts.h"

#include "files/file_io.h"
#include "words/user_texts.h"

namespace sigilflip {
namespace {

std::string ReasonText(const RunFailure& failure) {
  switch (failure.reason) {
    case Reason::kSystem:
      return failure.words;
    case Reason::kFolder:
      return texts::kFolderReason;
    case Reason::kNotAFile:
      return texts::kNotAFileReason;
    case Reason::kReadOnly:
      return texts::kReadOnlyReason;
    case Reason::kInUse:
      return texts::kInUseReason;
    case Reason::kSeveralMatches:
      return texts::SeveralMatchesReason(failure.words);
    case Reason::kOthersLink:
      return texts::kOthersLinkReason;
    case Reason::kProtectedFolder:
      return texts::kProtectedFolderReason;
    case Reason::kBlockedWrite:
      return texts::kBlockedWriteReason;
    case Reason::kCloudFile:
      return texts::kCloudFileReason;
    case Reason::kNotKept:
      return texts::kNotKeptReason;
  }
  return failure.words;
}

}  // namespace

std::string TextOf(const RunFailure& failure, const CodePage& codePage) {
  const std::string file = DisplayPath(failure.file);
  switch (failure.kind) {
    case RunFailure::Kind::kFileCall: {
      std::string text = texts::CannotAccess(failure.access == FileAccess::kRead ? "read" : "write",
                                             file, ReasonText(failure));
      if (failure.missing && failure.access == FileAccess::kRead) {
        text += std::string("\n\n") + texts::kWhereTheGameIs;
      }
      return text;
    }
    case RunFailure::Kind::kNoSuchFolder:
      return texts::NoSuchFolder(file) + "\n\n" + texts::kWhereTheGameIs;
    case RunFailure::Kind::kOutputLeadsToInput:
      return texts::OutputLeadsToInput(file, DisplayPath(failure.other));
    case RunFailure::Kind::kTooManyRunes:
      return texts::TooManyRunes(file, failure.limit);
    case RunFailure::Kind::kChangedWhileReading:
      return texts::ChangedWhileReading(file, codePage.ToUtf8(failure.name));
    case RunFailure::Kind::kChanged:
      return texts::ChangedWhileReading(file);
    case RunFailure::Kind::kOutOfMemory:
      return texts::OutOfMemory(file);
    case RunFailure::Kind::kUnexpected:
      break;
  }
  return texts::Unexpected(failure.words);
}

RunTexts TextsOf(const RunReport& report, const CodePage& codePage) {
  RunTexts texts;
  if (report.failure) {
    texts.error = TextOf(*report.failure, codePage);
    return texts;
  }
  texts.list.emplace();
  for (const auto& [name, newName] : report.list) {
    texts.list->push_back(codePage.ToUtf8(name) + " => " + codePage.ToUtf8(newName));
  }
  for (const RuneWarning& warning : report.warnings) {
    texts.warnings.push_back(texts::RuneError(warning.count, codePage.ToUtf8(warning.name)));
  }
  return texts;
}

}  // namespace sigilflip
