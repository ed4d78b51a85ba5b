// `qvtool base64`, `qvtool guid`, `qvtool text` and `qvtool host`: the text
// and identifier services of the library from the command line.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "qv_commonclass/text.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;

// Encoding works on chunks of whole 3-byte groups, so the concatenated
// output equals the encoding of the whole input.
constexpr std::size_t kEncodeChunk = 3u << 20;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr && f != stdin) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for binary reading, or standard input for "" and "-".
File OpenInput(const std::string& path) {
  if (path.empty() || path == "-") return File(stdin);
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) Fail(ErrnoText(path, "cannot open", errno));
  return f;
}

bool WriteAll(const void* data, std::size_t size) {
  if (size == 0) return true;
  if (std::fwrite(data, 1, size, stdout) != size) {
    Fail(std::string("cannot write to standard output: ") + std::strerror(errno));
    return false;
  }
  return true;
}

int EncodeStream(std::FILE* in) {
  std::vector<BYTE> chunk(kEncodeChunk);
  std::vector<char> text(kEncodeChunk / 3 * 4 + 1);
  for (;;) {
    std::size_t got = 0;
    while (got < chunk.size()) {
      const std::size_t n = std::fread(chunk.data() + got, 1, chunk.size() - got, in);
      if (n == 0) break;
      got += n;
    }
    if (std::ferror(in)) {
      Fail(std::string("cannot read the input: ") + std::strerror(errno));
      return kExitFailure;
    }
    const int chars = Base64EncodeA(text.data(), chunk.data(), static_cast<int>(got));
    if (!WriteAll(text.data(), static_cast<std::size_t>(chars))) return kExitFailure;
    if (got < chunk.size()) break;
  }
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

int DecodeStream(std::FILE* in) {
  // The whole input is read first: whether its length is a multiple of 4
  // is only known at its end, and nothing is written for invalid input.
  std::string text;
  char buffer[1 << 16];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
    for (std::size_t i = 0; i < n; ++i) {
      if (buffer[i] != '\n' && buffer[i] != '\r') text.push_back(buffer[i]);
    }
  }
  if (std::ferror(in)) {
    Fail(std::string("cannot read the input: ") + std::strerror(errno));
    return kExitFailure;
  }
  if (text.size() % 4 != 0) {
    Fail("the input holds " + std::to_string(text.size()) +
         " Base64 characters (line breaks not counted), which is not a multiple of 4");
    return kExitFailure;
  }
  // Whole groups per call; a pad in a group's last two places ends the
  // decoding, which shows as a call that stores fewer than 3 bytes a group.
  constexpr std::size_t kChunk = 4u << 20;
  std::vector<BYTE> bytes(kChunk / 4 * 3);
  for (std::size_t at = 0; at < text.size(); at += kChunk) {
    const std::size_t chars = std::min(kChunk, text.size() - at);
    const int n = Base64DecodeA(bytes.data(), text.data() + at, static_cast<int>(chars));
    if (n < 0 || !WriteAll(bytes.data(), static_cast<std::size_t>(n))) return kExitFailure;
    if (static_cast<std::size_t>(n) < chars / 4 * 3) break;
  }
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

void AddBase64(CLI::App& app) {
  auto* base64 = app.add_subcommand("base64", "Base64 encoding and decoding (binary-safe, no line breaks)");
  base64->require_subcommand(1);
  AddExamples(base64, {"qvtool base64 encode clip.bin > clip.b64"});

  static std::string encode_path;
  auto* encode = base64->add_subcommand("encode", "Encode FILE (or standard input) to standard output");
  encode->add_option("FILE", encode_path, "input file; standard input when absent or '-'");
  AddExamples(encode, {"qvtool base64 encode clip.bin > clip.b64", "printf 'foo' | qvtool base64 encode"});
  encode->callback([] {
    File in = OpenInput(encode_path);
    ExitCode() = in ? EncodeStream(in.get()) : kExitFailure;
  });

  static std::string decode_path;
  auto* decode = base64->add_subcommand(
      "decode",
      "Decode FILE (or standard input) to standard output. Line breaks are skipped; other characters "
      "outside the alphabet count as 0 and the first '=' in a group's last two places ends the data, "
      "as the library decodes");
  decode->add_option("FILE", decode_path, "input file; standard input when absent or '-'");
  AddExamples(decode, {"qvtool base64 decode clip.b64 > clip.bin"});
  decode->callback([] {
    File in = OpenInput(decode_path);
    ExitCode() = in ? DecodeStream(in.get()) : kExitFailure;
  });
}

std::string RegistryText(const GUID& g) {
  char16_t buffer[39] = {};
  StringFromGUID2(g, buffer, 39);
  return CString(buffer).ToUtf8();
}

// GuidDigits checks GUID text in the forms `guid new` prints: 32 hexadecimal
// digits, bare or hyphenated 8-4-4-4-12, either in one pair of braces; gives
// the text without braces (hyphens kept), or nothing when it is not GUID text.
std::optional<std::string> GuidDigits(std::string text) {
  if (text.size() >= 2 && text.front() == '{' && text.back() == '}') text = text.substr(1, text.size() - 2);
  const bool hyphenated = text.size() == 36;
  if (text.size() != 32 && !hyphenated) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool hyphen_place = hyphenated && (i == 8 || i == 13 || i == 18 || i == 23);
    if (hyphen_place ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
  }
  return text;
}

void AddGuid(CLI::App& app) {
  auto* guid = app.add_subcommand("guid", "Create GUIDs and convert their compact text");
  guid->require_subcommand(1);
  AddExamples(guid, {"qvtool guid new --registry"});

  static int count = 1;
  static bool registry = false;
  auto* create = guid->add_subcommand("new", "Print new GUIDs in the compact form (32 lower-case digits)");
  create->add_option("-n,--count", count, "how many")->check(CLI::Range(1, 100000));
  create->add_flag("--registry", registry, "print the registry form {XXXXXXXX-...} as well");
  AddExamples(create, {"qvtool guid new", "qvtool guid new -n 3 --registry", "qvtool guid new --json"});
  AddJsonOutput(create, "{\"guids\": [{\"compact\": 32 digits, \"registry\": \"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}\"}, ...]}");
  create->callback([] {
    if (JsonWanted()) JsonResult() = {{"guids", nlohmann::json::array()}};
    for (int i = 0; i < count; ++i) {
      GUID g{};
      CString text;
      if (!QV_CreateGUID(g) || !QV_FromGUIDToString(g, text)) {
        Fail("the system could not create a GUID");
        ExitCode() = kExitFailure;
        return;
      }
      if (JsonWanted()) {
        JsonResult()["guids"].push_back({{"compact", text.ToUtf8()}, {"registry", RegistryText(g)}});
      } else if (registry) {
        std::printf("%s %s\n", text.ToUtf8().c_str(), RegistryText(g).c_str());
      } else {
        std::printf("%s\n", text.ToUtf8().c_str());
      }
    }
  });

  static std::vector<std::string> parse_texts;
  auto* parse = guid->add_subcommand(
      "parse", "Parse GUID text in any form `guid new` prints (compact, hyphenated, braced registry form); print "
               "the compact and the registry form");
  parse->add_option("TEXT", parse_texts, "32 hexadecimal digits; hyphens in the 8-4-4-4-12 places and one pair of "
                                         "braces allowed")->required();
  AddExamples(parse, {"qvtool guid parse 6b29fc40ca471067b31d00dd010662da",
                      "qvtool guid parse '{6B29FC40-CA47-1067-B31D-00DD010662DA}' --json"});
  AddListRule(parse);
  AddJsonOutput(parse, "{\"results\": [{\"text\": input, \"compact\": 32 digits, \"registry\": \"{...}\"}, ...]}");
  parse->callback([] {
    if (JsonWanted()) JsonResult() = {{"results", nlohmann::json::array()}};
    int rc = kExitOk;
    for (const auto& text : parse_texts) {
      const auto digits = GuidDigits(text);
      if (!digits) {
        Fail("'" + text + "' is not GUID text: expected 32 hexadecimal digits, optionally hyphenated 8-4-4-4-12 "
             "and in braces");
        rc = kExitFailure;
        continue;
      }
      GUID g{};
      QV_FromStringToGUID(g, CString(digits->c_str()));
      CString compact;
      QV_FromGUIDToString(g, compact);
      if (JsonWanted()) {
        JsonResult()["results"].push_back({{"text", text}, {"compact", compact.ToUtf8()}, {"registry", RegistryText(g)}});
      } else {
        std::printf("%s %s\n", compact.ToUtf8().c_str(), RegistryText(g).c_str());
      }
    }
    ExitCode() = rc;
  });
}

void AddText(CLI::App& app) {
  auto* text = app.add_subcommand("text", "Word count, escaping and splitting of text");
  text->require_subcommand(1);
  AddExamples(text, {"qvtool text words '剪辑 clip'"});

  static std::string words_text;
  auto* words = text->add_subcommand("words", "Count words as the clients display them");
  words->add_option("TEXT", words_text, "UTF-8 text")->required();
  AddExamples(words, {"qvtool text words '剪辑2段, clip10 和 Ｂ-roll'"});
  AddJsonOutput(words, "{\"text\": input, \"words\": count}");
  words->callback([] {
    const unsigned long n = QV_GetWordsFromText(CString(words_text.c_str()));
    if (JsonWanted()) {
      JsonResult() = {{"text", words_text}, {"words", n}};
    } else {
      std::printf("%lu\n", n);
    }
  });

  // The three text-to-text commands share their form.
  static std::string escape_text;
  struct Conversion {
    const char* name;
    const char* what;
    const char* example;
    CString (*convert)(const CString&);
  };
  static const Conversion kConversions[] = {
      {"xml", "Escape & < > ' for XML", "qvtool text xml \"<a href='x'>\"",
       [](const CString& t) { return XmlConv(t); }},
      {"html", "Escape & < > for HTML", "qvtool text html 'a < b & c'", [](const CString& t) { return HtmlConv(t); }},
      {"unescape", "Replace the named HTML references the library knows", "qvtool text unescape '&amp;quot;Hi&amp;quot;'",
       [](const CString& t) { return QV_ConvHtmlContent(t); }},
  };
  for (const Conversion& c : kConversions) {
    auto* sub = text->add_subcommand(c.name, c.what);
    sub->add_option("TEXT", escape_text, "UTF-8 text")->required();
    AddExamples(sub, {c.example});
    AddJsonOutput(sub, "{\"text\": input, \"result\": converted text}");
    sub->callback([&c] {
      const std::string result = c.convert(CString(escape_text.c_str())).ToUtf8();
      if (JsonWanted()) {
        JsonResult() = {{"text", escape_text}, {"result", result}};
      } else {
        std::printf("%s\n", result.c_str());
      }
    });
  }

  static std::string split_text, separator = ",";
  auto* split = text->add_subcommand("split", "Split on a separator; one piece per line, in brackets");
  split->add_option("TEXT", split_text, "UTF-8 text")->required();
  split->add_option("-s,--separator", separator, "separator (default ',')");
  AddExamples(split, {"qvtool text split ' a , , b '", "qvtool text split -s ';' 'x;y' --json"});
  AddJsonOutput(split, "{\"text\": input, \"separator\": text, \"pieces\": [text, ...]}");
  split->callback([] {
    CStringArray pieces;
    QV_SeparateStringToArray(CString(split_text.c_str()), pieces, CString(separator.c_str()));
    if (JsonWanted()) {
      JsonResult() = {{"text", split_text}, {"separator", separator}, {"pieces", nlohmann::json::array()}};
      for (int i = 0; i < pieces.GetSize(); ++i) JsonResult()["pieces"].push_back(pieces[i].ToUtf8());
      return;
    }
    for (int i = 0; i < pieces.GetSize(); ++i) std::printf("[%s]\n", pieces[i].ToUtf8().c_str());
  });
}

bool IsDottedQuad(const std::string& s) {
  int parts = 0;
  std::size_t i = 0;
  while (i <= s.size()) {
    std::size_t j = i;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
    if (j == i || j - i > 3 || std::stoi(s.substr(i, j - i)) > 255) return false;
    ++parts;
    if (j == s.size()) break;
    if (s[j] != '.') return false;
    i = j + 1;
  }
  return parts == 4;
}

void AddHost(CLI::App& app) {
  static std::string server;
  auto* host = app.add_subcommand("host", "Print the local host name and IPv4 addresses");
  host->add_option("--server", server, "print the local address that best matches this server address (A.B.C.D)")
      ->check([](const std::string& s) { return IsDottedQuad(s) ? std::string() : "expected A.B.C.D, got " + s; });
  AddExamples(host, {"qvtool host", "qvtool host --server 192.168.1.25 --json"});
  AddJsonOutput(host, "{\"name\": text, \"addresses\": [\"A.B.C.D\", ...], \"server\": text, \"bestMatch\": text "
                      "(the last two with --server)}");
  host->callback([] {
    CString name;
    if (!QV_GetLocalHostName(name)) {
      Fail("cannot read the local host name");
      ExitCode() = kExitFailure;
      return;
    }
    CStringArray addresses;
    if (!QV_GetLocalHostIP(addresses)) {
      Fail("the local host name " + name.ToUtf8() + " does not resolve to an IPv4 address");
      ExitCode() = kExitFailure;
      return;
    }
    const std::string best = server.empty() ? "" : QVGetMaxMatchedIP(addresses, CString(server.c_str())).ToUtf8();
    if (JsonWanted()) {
      JsonResult() = {{"name", name.ToUtf8()}, {"addresses", nlohmann::json::array()}};
      for (int i = 0; i < addresses.GetSize(); ++i) JsonResult()["addresses"].push_back(addresses[i].ToUtf8());
      if (!server.empty()) {
        JsonResult()["server"] = server;
        JsonResult()["bestMatch"] = best;
      }
      return;
    }
    std::printf("name: %s\n", name.ToUtf8().c_str());
    for (int i = 0; i < addresses.GetSize(); ++i) std::printf("address: %s\n", addresses[i].ToUtf8().c_str());
    if (!server.empty()) std::printf("best match for %s: %s\n", server.c_str(), best.c_str());
  });
}

int Demo() {
  const char sample[] = "Media asset 素材 #1";
  const CString encoded = Base64Encode(reinterpret_cast<const BYTE*>(sample), static_cast<int>(std::strlen(sample)));
  std::printf("Base64 of \"%s\": %s\n", sample, encoded.ToUtf8().c_str());
  BYTE bytes[16] = {};
  std::printf("Decoding \"Zg==Zm9v\" stops at the first pad: %d byte(s)\n", Base64DecodeA(bytes, "Zg==Zm9v", 8));
  std::printf("Decoding \"Zm9vYg=\" (7 characters): %d\n", Base64DecodeA(bytes, "Zm9vYg=", 7));

  const CString mixed(u"剪辑2段, clip10 和 Ｂ-roll：共３个。");
  std::printf("Words in \"%s\": %lu\n", mixed.ToUtf8().c_str(), QV_GetWordsFromText(mixed));
  std::printf("XmlConv(\"<a href='x'>&lt;</a>\"): %s\n", XmlConv(u"<a href='x'>&lt;</a>").ToUtf8().c_str());
  std::printf("QV_ConvHtmlContent(\"&amp;quot;Hi&amp;quot;&hellip;\"): %s\n",
              QV_ConvHtmlContent(u"&amp;quot;Hi&amp;quot;&hellip;").ToUtf8().c_str());
  CStringArray pieces;
  QV_SeparateStringToArray(u" a , , b ", pieces, u",");
  std::printf("Split \" a , , b \" on ',': %d piece(s):", pieces.GetSize());
  for (int i = 0; i < pieces.GetSize(); ++i) std::printf(" [%s]", pieces[i].ToUtf8().c_str());
  std::printf("\n");

  CString id;
  if (!QV_CreateGUID(id)) return kExitFailure;
  GUID g{};
  QV_FromStringToGUID(g, id);
  std::printf("New GUID: %s = %s\n", id.ToUtf8().c_str(), RegistryText(g).c_str());

  CStringArray candidates;
  candidates.Add(u"192.168.1.10");
  candidates.Add(u"192.168.1.2");
  std::printf("Best of 192.168.1.10 / 192.168.1.2 for 192.168.1.25: %s\n",
              QVGetMaxMatchedIP(candidates, u"192.168.1.25").ToUtf8().c_str());
  CString name;
  CStringArray addresses;
  if (QV_GetLocalHostName(name) && QV_GetLocalHostIP(addresses)) {
    std::printf("This host: %s, %d IPv4 address(es), first %s\n", name.ToUtf8().c_str(), addresses.GetSize(),
                addresses[0].ToUtf8().c_str());
  }
  return kExitOk;
}

}  // namespace

void AddTextCommands(CLI::App& app) {
  AddBase64(app);
  AddGuid(app);
  AddText(app);
  AddHost(app);
  AddDemoSection("text and identifiers", Demo);
}

}  // namespace qvtool
