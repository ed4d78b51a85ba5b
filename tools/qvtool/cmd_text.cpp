// `qvtool base64`, `qvtool guid`, `qvtool text` and `qvtool host`: the text
// and identifier services of the library from the command line.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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
  if (!f) Fail("cannot open '" + path + "': " + std::strerror(errno));
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

  static std::string encode_path;
  auto* encode = base64->add_subcommand("encode", "Encode FILE (or standard input) to standard output");
  encode->add_option("file", encode_path, "input file; standard input when absent or '-'");
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
  decode->add_option("file", decode_path, "input file; standard input when absent or '-'");
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

void AddGuid(CLI::App& app) {
  auto* guid = app.add_subcommand("guid", "Create GUIDs and convert their compact text");
  guid->require_subcommand(1);

  static int count = 1;
  static bool registry = false;
  auto* create = guid->add_subcommand("new", "Print new GUIDs in the compact form (32 lower-case digits)");
  create->add_option("-n,--count", count, "how many")->check(CLI::Range(1, 100000));
  create->add_flag("--registry", registry, "print the registry form {XXXXXXXX-...} as well");
  create->callback([] {
    for (int i = 0; i < count; ++i) {
      GUID g{};
      CString text;
      if (!QV_CreateGUID(g) || !QV_FromGUIDToString(g, text)) {
        Fail("the system could not create a GUID");
        ExitCode() = kExitFailure;
        return;
      }
      if (registry) {
        std::printf("%s %s\n", text.ToUtf8().c_str(), RegistryText(g).c_str());
      } else {
        std::printf("%s\n", text.ToUtf8().c_str());
      }
    }
  });

  static std::string parse_text;
  auto* parse = guid->add_subcommand("parse", "Parse compact or hyphenated GUID text; print both forms");
  parse->add_option("text", parse_text, "32 hexadecimal digits, hyphens allowed")->required();
  parse->callback([] {
    GUID g{};
    QV_FromStringToGUID(g, CString(parse_text.c_str()));
    // The library accepts any text and yields the null GUID for malformed
    // input; only all-zero digits legitimately give that.
    const bool all_zero = parse_text.find_first_not_of("0-") == std::string::npos && !parse_text.empty();
    if (g == GUID_NULL && !all_zero) {
      Fail("'" + parse_text + "' is not GUID text (the library yields the null GUID)");
      ExitCode() = kExitFailure;
      return;
    }
    CString compact;
    QV_FromGUIDToString(g, compact);
    std::printf("%s %s\n", compact.ToUtf8().c_str(), RegistryText(g).c_str());
  });
}

void AddText(CLI::App& app) {
  auto* text = app.add_subcommand("text", "Word count, escaping and splitting of text");
  text->require_subcommand(1);

  static std::string words_text;
  auto* words = text->add_subcommand("words", "Count words as the clients display them");
  words->add_option("text", words_text, "UTF-8 text")->required();
  words->callback([] { std::printf("%lu\n", QV_GetWordsFromText(CString(words_text.c_str()))); });

  static std::string escape_text;
  auto* xml = text->add_subcommand("xml", "Escape & < > ' for XML");
  xml->add_option("text", escape_text, "UTF-8 text")->required();
  xml->callback([] { std::printf("%s\n", XmlConv(CString(escape_text.c_str())).ToUtf8().c_str()); });
  auto* html = text->add_subcommand("html", "Escape & < > for HTML");
  html->add_option("text", escape_text, "UTF-8 text")->required();
  html->callback([] { std::printf("%s\n", HtmlConv(CString(escape_text.c_str())).ToUtf8().c_str()); });
  auto* unescape = text->add_subcommand("unescape", "Replace the named HTML references the library knows");
  unescape->add_option("text", escape_text, "UTF-8 text")->required();
  unescape->callback(
      [] { std::printf("%s\n", QV_ConvHtmlContent(CString(escape_text.c_str())).ToUtf8().c_str()); });

  static std::string split_text, separator = ",";
  auto* split = text->add_subcommand("split", "Split on a separator; one piece per line, in brackets");
  split->add_option("text", split_text, "UTF-8 text")->required();
  split->add_option("-s,--separator", separator, "separator (default ',')");
  split->callback([] {
    CStringArray pieces;
    QV_SeparateStringToArray(CString(split_text.c_str()), pieces, CString(separator.c_str()));
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
  host->callback([] {
    CString name;
    if (!QV_GetLocalHostName(name)) {
      Fail("cannot read the local host name");
      ExitCode() = kExitFailure;
      return;
    }
    std::printf("name: %s\n", name.ToUtf8().c_str());
    CStringArray addresses;
    if (!QV_GetLocalHostIP(addresses)) {
      Fail("the local host name does not resolve to an IPv4 address");
      ExitCode() = kExitFailure;
      return;
    }
    for (int i = 0; i < addresses.GetSize(); ++i) std::printf("address: %s\n", addresses[i].ToUtf8().c_str());
    if (!server.empty()) {
      std::printf("best match for %s: %s\n", server.c_str(),
                  QVGetMaxMatchedIP(addresses, CString(server.c_str())).ToUtf8().c_str());
    }
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
