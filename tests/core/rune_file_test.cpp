#include "bytes/read_hash.h"
#include "run/passes.h"
#include "text/line_reader.h"
#include "words/run_texts.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "run/scrambler.h"
#include "test_support.h"

namespace sigilflip {
namespace {

// The words of the failure that `call` throws, or "no error".
template <typename Call>
std::string FailureOf(Call&& call) {
  try {
    call();
  } catch (const RunError& error) {
    RunFailure failure = error.failure();
    failure.file = "magic.ini";  // as the run that read it names it
    return TextOf(failure, CodePage::Get(1252));
  }
  return "no error";
}

using testing::MessageOf;
using testing::ScriptedRandom;
using Lines = std::vector<std::string>;

// The lines of `text` as the reader hands them out, in chunks of a small buffer: each chunk with
// the stream's two bytes before it, none cut between a CR and its LF or inside a rune line, and
// the last line ended by the reader where the stream does not end it.
Lines SplitLines(std::string_view text, LineEnds ends, std::size_t capacity) {
  StringSource source(text);
  LineReader reader(source, ends, capacity);
  const std::string stream = "\r\n" + std::string(text);
  std::string read = "\r\n";
  for (std::string_view chunk; !(chunk = reader.Next()).empty();) {
    EXPECT_EQ(std::string(chunk.data() - 2, 2), read.substr(read.size() - 2)) << "before a chunk";
    read.append(chunk);
    EXPECT_TRUE(read.back() != '\r' || read.size() >= stream.size() || stream[read.size()] != '\n')
        << "a chunk ends between a CR and its LF";
    // Nor inside a rune line: after the last line end it holds, none starts.
    const std::size_t lastLine = read.find_last_of(Terminator(ends)) + 1;
    EXPECT_EQ(rune_key::Number(std::string_view(read).substr(lastLine)), 0)
        << "a chunk ends inside a rune line: " << read.substr(lastLine);
  }
  EXPECT_EQ(read.substr(0, stream.size()), stream);
  Lines lines;
  const char terminator = Terminator(ends);
  const char* end = read.data() + read.size();
  for (const char* start = read.data() + 2; start < end;) {
    const auto* found = static_cast<const char*>(
        std::memchr(start, terminator, static_cast<std::size_t>(end - start)));
    EXPECT_NE(found, nullptr) << "the last line has no terminator";
    if (found == nullptr) {
      break;
    }
    lines.emplace_back(start, found);
    start = PastTerminator(found);
  }
  return lines;
}

Lines SplitLines(std::string_view text) {
  const LineEnds ends =
      text.find('\r') == text.npos ? LineEnds::LineFeed : LineEnds::CarriageReturn;
  const Lines lines = SplitLines(text, ends, LineReader::kDefaultCapacity);
  for (std::size_t capacity : {1u, 2u, 6u, 7u, 13u}) {
    EXPECT_EQ(SplitLines(text, ends, capacity), lines) << "buffer of " << capacity;
  }
  return lines;
}

// How a file splits into lines: at CR or CR LF when it has a CR anywhere (a lone LF stays in its
// line), at LF when it has none; the last line needs no terminator.
TEST(LineReader, SplitsLinesByTheFilesLineEnds) {
  const struct {
    std::string text;
    Lines lines;
  } kFiles[] = {
      {"a\r\nb\rc\r\n", {"a", "b", "c"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"\r\n\r\n", {"", ""}},
      {"a\nb\r\nc\n\n", {"a\nb", "c\n\n"}},
      {"\na\r", {"\na"}},
      // A CR LF that fills the buffer to its last byte leaves a LF after it to the next line.
      {"abcd\r\n\nRUNE1=x\r\n\n", {"abcd", "\nRUNE1=x", "\n"}},
      // Rune lines longer than the buffer, which grows for them, and other lines, which stream.
      {"RUNE1=" + std::string(40, 'r') + "\r\n" + std::string(40, 'o') + "\rRUNE2=x",
       {"RUNE1=" + std::string(40, 'r'), std::string(40, 'o'), "RUNE2=x"}},
      {"RUNE1=a\nRUNE2=" + std::string(30, 'b') + "\nRUNE3",
       {"RUNE1=a", "RUNE2=" + std::string(30, 'b'), "RUNE3"}},
      {"a\nb\n\nc", {"a", "b", "", "c"}},
      {"a\n", {"a"}},
      {"abc", {"abc"}},
      {"a\r\nlast", {"a", "last"}},
      {"", {}},
  };
  for (const auto& file : kFiles) {
    EXPECT_EQ(SplitLines(file.text), file.lines) << file.text;
  }
}

// A source that gives at most `readSize` bytes a read, as a pipe or a network share may.
class ShortReads final : public ByteSource {
 public:
  ShortReads(std::string_view text, std::size_t readSize) : source_(text), readSize_(readSize) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    return source_.Read(buffer, std::min(size, readSize_));
  }
  void Rewind() override { source_.Rewind(); }

 private:
  StringSource source_;
  std::size_t readSize_;
};

// The first pass learns the line ends as it reads: a CR anywhere, even after lines taken to end in
// LF (small buffers) or after more runes than the table holds, makes every line end at CR.
TEST(LineReader, CarriageReturnFoundLateStillCounts) {
  const std::string runeThenCr = "RUNE1=a\n" + std::string(100, 'x') + "\r\nRUNE2=b\r\n";
  std::string thousandAndOne;
  for (int i = 1; i <= 1001; ++i) {
    thousandAndOne += "RUNE1=r" + std::to_string(i) + "\n";
  }
  const struct {
    std::string text;
    LineEnds ends;
    std::vector<std::string> runes;
  } kCases[] = {
      {std::string(40000, 'x') + "\nRUNE1=a\r\n", LineEnds::CarriageReturn, {}},
      {runeThenCr, LineEnds::CarriageReturn, {"a\n" + std::string(100, 'x'), "b"}},
      {thousandAndOne + "\r", LineEnds::CarriageReturn, {thousandAndOne.substr(6)}},
      {"RUNE1=a\nRUNE2=b\n", LineEnds::LineFeed, {"a", "b"}},
  };
  for (const auto& test : kCases) {
    for (std::size_t capacity : {std::size_t{16}, std::size_t{64}, LineReader::kDefaultCapacity}) {
      for (const std::size_t readSize : {capacity, std::size_t{1}}) {
        ShortReads source(test.text, readSize);
        RuneTable table;
        EXPECT_EQ(CollectRunes(source, table, capacity).ends, test.ends)
            << test.text.substr(0, 20) << " in buffers of " << capacity << ", reads of "
            << readSize;
        std::vector<std::string> runes;
        for (Int16 slot = 1; slot <= table.RuneCount(); ++slot) {
          runes.push_back(table.Runes(slot).Name);
        }
        EXPECT_EQ(runes, test.runes) << test.text.substr(0, 20) << " in buffers of " << capacity
                                     << ", reads of " << readSize;
      }
    }
  }
}

TEST(RuneKey, MatchesTheFiveKeysAtTheStartInAnyCase) {
  EXPECT_EQ(rune_key::Number("RUNE1=x"), 1);
  EXPECT_EQ(rune_key::Number("rune2="), 2);
  EXPECT_EQ(rune_key::Number("Rune3= x"), 3);
  EXPECT_EQ(rune_key::Number("rUnE4=="), 4);
  EXPECT_EQ(rune_key::Number("RUNE5=RUNE1="), 5);
  for (const char* line :
       {" RUNE1=x", "RUNE 1=x", "RUNE1 =x", "RUNE6=x", "RUNE0=x", "RUNE1", "RUNE1:x", "RUNES=x",
        "\tRUNE1=x", "RUNE", "", "RUNA1=x", "RUNX1=x", "XUNE1=x", "RXNE1=x", "RUXE1=x",
        "RUN\xC5"
        "1=x",
        "\xD2UNE1=x"}) {
    EXPECT_EQ(rune_key::Number(line), 0) << line;
  }
}

// A run over `input` with scripted draws; returns the output. Small buffers, which cut lines and
// line ends at every place, and a first pass's record that stops early or at once, must give the
// same runes, mapping and output.
std::string Rewrite(std::string_view input, const std::vector<float>& draws, RuneTable& table) {
  const auto run = [&](StringSink& sink, std::size_t capacity, std::size_t cap,
                       std::size_t readSize) {
    ShortReads source(input, readSize == 0 ? input.size() + 1 : readSize);
    ScriptedRandom random(draws);
    return ShuffleRunes(
        source, random, [&]() -> ByteSink& { return sink; }, capacity, CodePage::Get(1252), cap);
  };
  StringSink sink;
  table = run(sink, LineReader::kDefaultCapacity, RunePlaces::kDefaultCap, 0);
  const auto same = [&](std::size_t capacity, std::size_t cap, std::size_t readSize) {
    StringSink smallSink;
    EXPECT_EQ(testing::Mapping(run(smallSink, capacity, cap, readSize)), testing::Mapping(table))
        << "buffers of " << capacity << ", a record of " << cap << ", reads of " << readSize;
    EXPECT_EQ(testing::Difference(smallSink.Text(), sink.Text()), "same")
        << "buffers of " << capacity << ", a record of " << cap << ", reads of " << readSize;
  };
  for (std::size_t capacity : {6u, 7u, 8u, 9u, 13u, 64u, 1024u}) {
    same(capacity, 0, 0);
    same(capacity, RunePlaces::kDefaultCap, 0);
  }
  // Records that stop after every few places, and reads of a few bytes, as from a network share.
  for (std::size_t cap = 4; cap <= 256; cap += 4) {
    same(64, cap, 0);
  }
  for (std::size_t readSize : {1u, 3u, 70u}) {
    same(64, RunePlaces::kDefaultCap, readSize);
  }
  return sink.Text();
}

TEST(RuneFile, RewritesRuneLinesAndCopiesOtherLines) {
  RuneTable table;
  const std::string output = Rewrite(
      "[Magic]\r\n"
      "; RUNE1=comment\r\n"
      "rune2=  Abc\r\n"
      "Other=1, \"two\"\r\n"
      "RUNE5=ABC\r\n"
      "Rune3=def \r\n"
      " RUNE1=x\r\n"
      "RUNE 1=x\r\n"
      "RUNE6=x\r\n"
      "RUNE4=ghi",
      {0.99f, 0.99f, 0.99f}, table);
  ASSERT_EQ(table.RuneCount(), 3);
  EXPECT_EQ(table.Runes(1).Name, "Abc");
  EXPECT_EQ(table.Runes(2).Name, "def");
  EXPECT_EQ(table.Runes(3).Name, "ghi");
  // k = 3 for every rune: Abc => def, def => ghi, ghi => Abc.
  EXPECT_EQ(output,
            "[Magic]\r\n"
            "; RUNE1=comment\r\n"
            "Rune2=def\r\n"
            "Other=1, \"two\"\r\n"
            "Rune5=def\r\n"
            "Rune3=ghi\r\n"
            " RUNE1=x\r\n"
            "RUNE 1=x\r\n"
            "RUNE6=x\r\n"
            "Rune4=Abc\r\n");
}

TEST(RuneFile, OutputKeyIsRuneNWhateverTheLettersOfTheInputKey) {
  std::string input;
  std::string expected;
  for (char number = '1'; number <= '5'; ++number) {
    for (unsigned cases = 0; cases < 16; ++cases) {
      std::string key = "rune";
      for (std::size_t i = 0; i < key.size(); ++i) {
        if ((cases >> i & 1u) != 0) {
          key[i] = static_cast<char>(key[i] - 'a' + 'A');
        }
      }
      input += key + number + "=a\r\n";
      expected += std::string("Rune") + number + "=a\r\n";
    }
  }
  RuneTable table;
  EXPECT_EQ(Rewrite(input, {0.0f}, table), expected);
}

// Every output line ends in CR LF, whatever ended it in the input; a lone LF in a file with CRs
// belongs to its line, also to a rune's name.
TEST(RuneFile, LineEndsOfTheInputAndOfTheOutput) {
  // Lines of every length up to past two short copies, which fill the output buffer again and
  // again with rewritten line ends at every place.
  std::string lines;
  std::string crLfLines;
  std::string lineEnds;
  for (std::size_t i = 0; i < 20000; ++i) {
    lineEnds += i < 300 ? "\r\n" : "";
    lines += std::string(i * 7 % 71, 'x') + "\n";
    crLfLines += std::string(i * 7 % 71, 'x') + "\r\n";
  }
  // Places with 254, 255 and 256 bytes before them, and of 254, 255 and 256 bytes: either side of
  // the sizes that the record writes in more bytes.
  const auto limits = [](std::string_view one, std::string_view two) {
    std::string text;
    for (std::size_t size : {254u, 255u, 256u}) {
      text += std::string(size - 2, 'x') + "\r\n" + std::string(one) + "a\r\n" + std::string(two) +
              std::string(size - 8, 'n') + "\r\n";
    }
    return text;
  };
  const struct {
    std::string input;
    std::vector<float> draws;
    std::string output;
    Lines names;
  } kFiles[] = {
      {limits("RUNE1=", "rune2="),
       {0.0f, 0.0f, 0.0f, 0.0f},
       limits("Rune1=", "Rune2="),
       {"a", std::string(246, 'n'), std::string(247, 'n'), std::string(248, 'n')}},
      {"a\rb\r\nc", {}, "a\r\nb\r\nc\r\n", {}},
      {std::string(300, '\r'), {}, lineEnds, {}},  // places of a byte each
      // A chunk whose first place comes after a line of whole chunks, then a place a byte.
      {std::string(320, 'x') + std::string(64, '\r'),
       {},
       std::string(320, 'x') + lineEnds.substr(0, 128),
       {}},
      {"x\ny\r\nRUNE1=n\nm\r", {0.0f}, "x\ny\r\nRune1=n\nm\r\n", {"n\nm"}},
      {"[a]\nRUNE1=one\nrune2=two\nkey=v\n",
       {0.0f, 0.0f},
       "[a]\r\nRune1=one\r\nRune2=two\r\nkey=v\r\n",
       {"one", "two"}},
      {"", {}, "", {}},
      {"\r\n[only]\r\n\r\nkey=RUNE1=x", {}, "\r\n[only]\r\n\r\nkey=RUNE1=x\r\n", {}},
      {lines, {}, crLfLines, {}},
      // A byte order mark at the very start is no part of the first line, and stays.
      {"\xEF\xBB\xBFRUNE1=a\nRUNE2=b",
       {0.0f, 0.0f},
       "\xEF\xBB\xBFRune1=a\r\nRune2=b\r\n",
       {"a", "b"}},
      {"\xEF\xBB\xBF", {}, "\xEF\xBB\xBF", {}},
      {"\xEF\xBBRUNE1=a\r\n\xEF\xBB\xBFRUNE1=b",
       {},
       "\xEF\xBBRUNE1=a\r\n\xEF\xBB\xBFRUNE1=b\r\n",
       {}},
  };
  for (const auto& file : kFiles) {
    RuneTable table;
    EXPECT_EQ(testing::Difference(Rewrite(file.input, file.draws, table), file.output), "same")
        << file.input.substr(0, 40);
    Lines names;
    for (Int16 slot = 1; slot <= table.RuneCount(); ++slot) {
      names.push_back(table.Runes(slot).Name);
    }
    EXPECT_EQ(names, file.names) << file.input.substr(0, 40);
  }
}

TEST(RuneFile, EmptyRuneNameIsARune) {
  RuneTable table;
  // "", B: draws 0, 0. The empty name goes to slot 1 and leaves it open; B's name goes there too.
  EXPECT_EQ(Rewrite("RUNE1=\r\nRUNE2=B\r\nRUNE3=  \r\n", {0.0f, 0.0f}, table),
            "Rune1=B\r\nRune2=\r\nRune3=B\r\n");
}

TEST(RuneFile, EveryByteValueRoundTrips) {
  std::string other;
  for (int byte = 0; byte < 256; ++byte) {
    if (byte != '\r') {
      other += static_cast<char>(byte);
    }
  }
  RuneTable table;
  const std::string input = other + "\r\nRUNE1=" + other + "\r\n";
  // The name starts with NUL and ends with 0xFF: no spaces to strip.
  EXPECT_EQ(Rewrite(input, {0.0f}, table), other + "\r\nRune1=" + other + "\r\n");
}

TEST(RuneFile, LongLinesAreStreamed) {
  const std::string longName(300000, 'n');
  const std::string longOther(300000, 'o');
  // After a long rune line, a read buffer that grew for it holds more other lines before the next
  // than the output buffer holds.
  std::string lines;
  while (lines.size() < 2 * longName.size()) {
    lines += "o\r\n";
  }
  RuneTable table;
  const std::string output =
      Rewrite(longOther + "\r\nRUNE1=" + longName + "\r\n" + lines + "RUNE2=x\r\nRUNE3=" + longName,
              {0.5f, 0.5f}, table);
  const std::string newName(table.GetRune(longName));
  EXPECT_EQ(testing::Difference(output, longOther + "\r\nRune1=" + newName + "\r\n" + lines +
                                            "Rune2=" + std::string(table.GetRune("x")) +
                                            "\r\nRune3=" + newName + "\r\n"),
            "same");
  EXPECT_EQ(table.RuneCount(), 2);
}

// Rune lines whose new names take 0 to 3 whole blocks of output and a byte more or less, repeated
// until they cross the output buffer's end at every place, among other lines and odd line ends.
TEST(RuneFile, RuneLinesOfEveryLengthCrossTheOutputBuffer) {
  std::vector<std::string> names;
  for (std::size_t length = 0; length <= 100; ++length) {
    names.push_back(std::string(length, static_cast<char>('a' + length % 26)) +
                    std::to_string(length));
  }
  std::string input;
  for (std::size_t round = 0; round < 40; ++round) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      input += "RUNE" + std::to_string(1 + (i + round) % 5) + "=" + names[i] +
               (i % 7 == 0 ? "\r" : "\r\n") + std::string(round % 3, 'o') + "\r\n";
    }
  }
  RuneTable table;
  const std::string output = Rewrite(input, std::vector<float>(names.size(), 0.5f), table);
  std::string expected;
  for (std::size_t round = 0; round < 40; ++round) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      expected += "Rune" + std::to_string(1 + (i + round) % 5) + "=" +
                  std::string(table.GetRune(names[i])) + "\r\n" + std::string(round % 3, 'o') +
                  "\r\n";
    }
  }
  ASSERT_EQ(table.RuneCount(), static_cast<Int16>(names.size()));
  EXPECT_EQ(output, expected);
}

TEST(RuneFile, MoreThanAThousandRunesIsAnError) {
  std::string input;
  for (int i = 1; i <= 1000; ++i) {
    input += "RUNE1=r" + std::to_string(i) + "\r\n";
  }
  {
    RuneTable table;
    const std::string known = input + "RUNE2=R1000\r\n";
    StringSource source(known);
    EXPECT_NO_THROW(CollectRunes(source, table));
    EXPECT_EQ(table.RuneCount(), 1000);
  }
  std::string lineFeeds = input;
  std::erase(lineFeeds, '\r');
  // More lines after the 1001st: the first pass stops there, and must not take a CR or a LF that
  // it has not read for a file whose lines end in CR.
  const std::string more(100, 'x');
  for (const std::string& tooMany :
       {input + "RUNE2=r1001\r\n", lineFeeds + "RUNE2=r1001\n",
        input + "RUNE2=r1001\r\n" + more + "\r\n", lineFeeds + "RUNE2=r1001\n" + more + "\n"}) {
    for (std::size_t capacity : {std::size_t{64}, LineReader::kDefaultCapacity}) {
      RuneTable table;
      StringSource source(tooMany);
      EXPECT_EQ(FailureOf([&] { CollectRunes(source, table, capacity); }),
                "magic.ini names more than 1000 different runes. Sigilflip shuffles at most "
                "1000.")
          << "buffers of " << capacity;
    }
  }
}

// A source that reads as `before` until it is rewound, then as `after`.
// A source that changes at each of its first `changes` rewinds: from `before` to `after` and back.
class ChangingSource final : public ByteSource {
 public:
  ChangingSource(std::string_view before, std::string_view after, int changes)
      : source_(before), before_(before), after_(after), changes_(changes) {}
  std::size_t Read(char* buffer, std::size_t size) override { return source_.Read(buffer, size); }
  void Rewind() override {
    source_ = StringSource(++rewinds_ > changes_ || rewinds_ % 2 == 1 ? after_ : before_);
  }

 private:
  StringSource source_;
  std::string_view before_;
  std::string_view after_;
  int changes_;
  int rewinds_ = 0;
};

// The reader's digest is of the stream's bytes, every one once, however the reads and refills cut
// them (the terminator it adds to a last line is none of them); it tells a change in the last byte
// of a stream longer than the read buffer.
TEST(LineReader, DigestsEveryByteReadOnce) {
  std::string text;
  for (int i = 0; text.size() < 70000; ++i) {
    text +=
        i % 7 == 0 ? "RUNE1=r" + std::to_string(i) + "\r\n" : "line " + std::to_string(i) + "\r";
  }
  const auto digest = [](std::string_view bytes, std::size_t capacity, std::size_t readSize) {
    ShortReads source(bytes, readSize);
    LineReader reader(source, capacity);
    while (!reader.Next().empty()) {
    }
    return reader.Read();
  };
  ReadHash whole;
  whole.Add(text.data(), text.size());
  for (const std::size_t readSize : {1u, 5u, 4096u, 100000u}) {
    for (const std::size_t capacity : {16u, 1000u, 65536u}) {
      EXPECT_EQ(digest(text, capacity, readSize), whole.Digest())
          << "reads of " << readSize << ", buffers of " << capacity;
    }
  }
  EXPECT_EQ(whole.Digest().size, text.size());
  std::string changed = text;
  changed.back() = 'x';
  EXPECT_NE(digest(changed, 65536, 4096), digest(text, 65536, 4096));
}

// A source that changed between the passes is read again, once; changed again, it stops the run,
// before the first pass's record ends (the record's places, then the whole source's bytes, are
// checked) and after it (rune lines are looked up again): a rune line with a name the first pass
// did not read is named.
TEST(RuneFile, SourceChangedBetweenThePassesIsAnError) {
  const std::string unknown =
      "magic.ini changed while Sigilflip was reading it: the rune \"\xC3\x86ther\" was not in it "
      "before.";
  const std::string changed = "magic.ini changed while Sigilflip was reading it.";
  // The reader hands out the first line after each read on its own: the other lines are
  // replayed from the record.
  const std::string head = "[a]\r\n";
  const std::string runes = head + "RUNE1=abc\r\nkey=v\r\nRUNE2=xyz\r\n";
  const std::size_t all = RunePlaces::kDefaultCap;
  const struct {
    std::string after;
    std::size_t cap;  // of the record, in bytes
    std::string failure;
    int changes = 3;
  } kCases[] = {
      {head + "RUNE1=abc\r\nkey=v\r\nRUNE2= \xC6ther \r\n", 0, unknown},
      {head + "RUNE1=abc\r\nkey=v\r\nRUNE2= \xC6ther \r\n", all, changed},
      {head + "RUNE1=abc\r\nkey=v\r\nRUNE2=abc\r\n", all, changed},
      {head + "RUNE1=abc\r\nkey=v\r\nRUNE2=abc\r\n", 0, changed},
      {head + "RUNE1=abc\r\nRUNE1=v\r\nRUNE2=xyz\r\n", all, changed},
      {head + "RUNE1=xyz\r\nkey=v\r\nRUNE2=abc\r\n", all, changed},
      {"\r\n" + runes, all, changed},
      {head + "RUNE1=abcdefghijklmnopqrstu\r\n", all, changed},
      {head + "RUNE1=abc\r\nkey=v\r\nRU\r\n", all, changed},
      {head + "RUNE1=abc\r\nkey=v\r\nRUNE2=xyzzzzzzzzzzz\r\n", all, changed},
      {head + "RUNE1=abc\r\nkey=v\r\n\rRUNE2=xyz\r", all, changed},
      {runes + "x", 0, changed},
      {"\xEF\xBB\xBF" + runes, all, changed},
      {runes, 0, "no error"},
      {runes, all, "no error"},
      {head + "RUNE1=abc\r\nkey=v\r\nRUNE2=abc\r\n", all, "no error", 1},  // then it settled
  };
  for (const auto& test : kCases) {
    ChangingSource source(runes, test.after, test.changes);
    ScriptedRandom random({0.0f, 0.0f});  // drawn again, not anew, as the source is read again
    std::optional<StringSink> sink;
    EXPECT_EQ(FailureOf([&] {
                ShuffleRunes(
                    source, random, [&]() -> ByteSink& { return sink.emplace(); },
                    LineReader::kDefaultCapacity, CodePage::Get(1252), test.cap);
              }),
              test.failure)
        << test.after << " with a record of " << test.cap;
    if (test.failure == "no error") {
      RuneTable table;
      EXPECT_EQ(sink->Text(), Rewrite(test.after, {0.0f, 0.0f}, table));
    }
  }
}

}  // namespace
}  // namespace sigilflip
