// Publisher tool: writes the download manifest "file.json" for every file under a folder.
//
// The manifest is UTF-8 with LF line ends on every system, so that one manifest serves the
// downloaders of every system: names are the files' names in UTF-8 (on POSIX systems their
// own bytes, which must be UTF-8; on Windows converted from the system's wide names, the
// arguments too), and only names that the documents' code page can hold are listed, since the
// Windows downloader keeps its paths in that code page.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "download/manifestNames.h"
#include "platform/sha256.h"
#ifdef MANIFEST_SIGNING
#include "tools/manifest_signing.h"
#endif

namespace fs = std::filesystem;

#define TEXT_OF(value) #value
#define DIGITS_OF(value) TEXT_OF(value)
#define DOCUMENT_CODE_PAGE_TEXT DIGITS_OF(DOWNLOADER_CODE_PAGE)

namespace {

constexpr const char* kUsage =
    "Usage: make-manifest --url BASE_URL [--mirror BASE_URL]... [--output FILE]\n"
    "                     [--version LABEL] [--no-hashes] [--sign KEYFILE] FOLDER\n"
    "       make-manifest --generate-key KEYFILE\n"
    "\n"
    "Writes the download manifest for every file under FOLDER (recursively): \"TotalCount\",\n"
    "\"TotalSize\", \"URL\" and \"FileList\" with each file's \"Name\" (relative to FOLDER, \"/\"\n"
    "between components), \"Size\" in bytes and \"SHA256\" (the SHA-256 of its bytes, 64\n"
    "lowercase hexadecimal digits, which the downloader checks and repairs against), sorted by\n"
    "name so that the same folder always gives the same file.\n"
    "\n"
    "  --url BASE_URL   the address the files are served under; a final \"/\" is added when\n"
    "                   missing (the downloader appends each name to it)\n"
    "  --mirror BASE_URL\n"
    "                   a further address serving the same files (repeatable, at most 8),\n"
    "                   written in order under \"Mirrors\" as {\"URL\": BASE_URL}; the\n"
    "                   downloader goes on at the next one when a server fails a file; a\n"
    "                   final \"/\" is added when missing\n"
    "  --output FILE    where to write the manifest (default: standard output); a FILE inside\n"
    "                   FOLDER is not listed\n"
    "  --version LABEL  an optional \"Version\" label of the file set\n"
    "  --no-hashes      leave \"SHA256\" out (no reading of the files; for very large sets,\n"
    "                   whose downloads are then not checked)\n"
    "  --sign KEYFILE   also write FILE.sig beside the manifest (needs --output): the\n"
    "                   signature of its exact bytes by the private key in KEYFILE (ECDSA\n"
    "                   P-256, SHA-256; r and s, 32 bytes each). A downloader built with the\n"
    "                   public key refuses a manifest without a valid signature, and one with\n"
    "                   an entry without \"SHA256\"\n"
    "  --generate-key KEYFILE\n"
    "                   write a new private key to KEYFILE (PEM, readable by its owner only;\n"
    "                   an existing file is kept) and its public key to KEYFILE.pub (DER), the\n"
    "                   file a build takes as DOWNLOADER_MANIFEST_KEY\n"
    "  --help           this text\n"
    "\n"
    "The manifest is UTF-8 with LF line ends. Names the downloader cannot read back or would\n"
    "refuse (with , { } [ ] \" : \\ or control characters, a component ending in a dot or\n"
    "blank, not UTF-8, or with a character that the Windows downloader's code page lacks:\n"
    "code page " DOCUMENT_CODE_PAGE_TEXT ") stop the tool with exit code 2.\n";

struct Entry {
    std::string name;
    uintmax_t size;
    std::string sha256;
};

// Files from this size on are announced while they are hashed, so a long run shows progress.
constexpr uintmax_t kAnnouncedSize = uintmax_t{64} << 20;

// The SHA-256 of the file's bytes; false when it cannot be read whole or no longer has the
// size it was listed with (it changed while the manifest was made).
bool HashFile(const fs::path& path, uintmax_t size, std::string& digest) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    platform::Sha256 sha256;
    uintmax_t read = 0;
    while (file) {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        sha256.Update(buffer.data(), static_cast<size_t>(file.gcount()));
        read += static_cast<uintmax_t>(file.gcount());
    }
    if (!file.eof() || read != size) {
        return false;
    }
    digest = sha256.FinishHex();
    return true;
}

#ifdef _WIN32
// Wide text as UTF-8; nothing for text that is no valid UTF-16 (a name with a lone surrogate).
std::optional<std::string> Utf8Of(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int count = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length,
                                          nullptr, 0, nullptr, nullptr);
    if (count <= 0) {
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, bytes.data(), count,
                        nullptr, nullptr);
    return bytes;
}

std::wstring WideOf(const std::string& utf8) {
    const int length = static_cast<int>(utf8.size());
    const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring text(static_cast<size_t>(count > 0 ? count : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, text.data(), count);
    return text;
}

std::optional<std::string> NameOf(const fs::path& relative) {
    return Utf8Of(relative.generic_wstring());
}

fs::path PathOf(const std::string& utf8) {
    return fs::path(WideOf(utf8));
}

bool DocumentCodePageHolds(const std::string& utf8) {
    const std::wstring wide = WideOf(utf8);
    BOOL lacking = FALSE;
    WideCharToMultiByte(DOWNLOADER_CODE_PAGE, WC_NO_BEST_FIT_CHARS, wide.data(),
                        static_cast<int>(wide.size()), nullptr, 0, nullptr, &lacking);
    return !lacking;
}

// The arguments as the system has them (wide), in UTF-8; the narrow ones are in the ANSI code
// page, which cannot hold every name.
std::vector<std::string> Arguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide != nullptr && i < count; ++i) {
        arguments.push_back(Utf8Of(wide[i]).value_or(std::string()));
    }
    LocalFree(wide);
    return arguments;
}
#else
// The system's names are bytes; the manifest takes them only when they are UTF-8.
std::optional<std::string> NameOf(const fs::path& relative) {
    return relative.generic_string();
}

fs::path PathOf(const std::string& bytes) {
    return fs::path(bytes);
}

// Also refuses text that is no valid UTF-8.
bool DocumentCodePageHolds(const std::string& utf8) {
    static const char* const kCodePage = DOWNLOADER_CODE_PAGE == 949 ? "CP949" : "CP932";
    iconv_t converter = iconv_open(kCodePage, "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    std::string in = utf8;
    char* from = in.data();
    size_t left = in.size();
    std::string out(in.size() * 2 + 4, '\0');
    char* to = out.data();
    size_t room = out.size();
    const bool whole = iconv(converter, &from, &left, &to, &room) != static_cast<size_t>(-1);
    iconv_close(converter);
    return whole && left == 0;
}

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}
#endif

// The manifest reader keeps values raw (no escapes) and ends them at ',' or '}'; beyond that,
// every name must be one that the downloaders of every system take.
const char* Unrepresentable(const std::string& name) {
    for (unsigned char c : name) {
        if (c >= 0x20 && c != 0x7f && std::strchr(",{}[]\":\\", c) != nullptr) {
            return "character the manifest cannot hold";
        }
    }
    if (const char* reason = NameRefusal(name, /*windowsNames=*/true)) {
        return reason;
    }
    if (!DocumentCodePageHolds(name)) {
        return "not UTF-8, or a character that code page " DOCUMENT_CODE_PAGE_TEXT " lacks";
    }
    return nullptr;
}

// The first name that Windows takes for the same file as an earlier one ("A.bin" beside
// "a.bin"); empty when there is none.
std::string CaseTwinOf(const std::vector<Entry>& entries) {
    std::vector<std::string> keys;
    for (const Entry& entry : entries) {
        keys.push_back(FoldAsciiCase(entry.name));
    }
    std::sort(keys.begin(), keys.end());
    const auto twin = std::adjacent_find(keys.begin(), keys.end());
    return twin != keys.end() ? *twin : std::string();
}

int Fail(const std::string& text, int code) {
    std::cerr << "make-manifest: " << text << "\n";
    return code;
}

#ifdef MANIFEST_SIGNING
int GenerateKey(const std::string& keyFile) {
    std::string error;
    return manifest_signing::GenerateKey(keyFile, error) ? 0 : Fail(error, 2);
}

// The signature goes beside the manifest, written whole or not at all.
int WriteSignature(const std::string& keyFile, const std::string& manifest,
                   const std::string& output) {
    std::string signature;
    std::string error;
    if (!manifest_signing::Sign(keyFile, manifest, signature, error)) {
        return Fail(error, 2);
    }
    const fs::path path = PathOf(output + ".sig");
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << signature;
    file.close();
    return file ? 0 : Fail("cannot write " + output + ".sig", 2);
}
#else
int GenerateKey(const std::string&) {
    return Fail("keys are made and manifests signed with the Linux tool", 2);
}

int WriteSignature(const std::string&, const std::string&, const std::string&) {
    return GenerateKey("");
}
#endif

struct Options {
    std::string url;
    std::vector<std::string> mirrors;
    std::string output;
    std::string version;
    std::string folder;
    std::string signingKey;
    std::string newKey;
    bool hashes = true;
    bool help = false;
};

// A base address ends in "/", the downloader appends each name to it.
std::string BaseOf(std::string url) {
    if (!url.empty() && url.back() != '/') {
        url += '/';
    }
    return url;
}

// The arguments; false when they are not a valid use of the tool.
bool ReadOptions(const std::vector<std::string>& args, Options& options) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string mirror;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        }
        if (arg == "--no-hashes") {
            options.hashes = false;
        } else if (arg == "--mirror" && value(mirror)) {
            options.mirrors.push_back(BaseOf(mirror));
        } else if (!(arg == "--url" && value(options.url)) &&
                   !(arg == "--output" && value(options.output)) &&
                   !(arg == "--version" && value(options.version)) &&
                   !(arg == "--sign" && value(options.signingKey)) &&
                   !(arg == "--generate-key" && value(options.newKey))) {
            if (arg.rfind("--", 0) == 0 || !options.folder.empty()) {
                return false;
            }
            options.folder = arg;
        }
    }
    options.url = BaseOf(options.url);
    return !options.newKey.empty() ||
           (!options.url.empty() && !options.folder.empty() &&
            (options.signingKey.empty() || (!options.output.empty() && options.hashes)));
}

// Every file under `root` but the manifest itself, sorted by name; 0 or the exit code.
int ListFiles(const fs::path& root, const Options& options, std::vector<Entry>& entries) {
    std::error_code error;
    fs::path outputPath;
    if (!options.output.empty()) {
        outputPath = fs::weakly_canonical(PathOf(options.output), error);
    }
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file() || it->path() == outputPath) {
            continue;
        }
        const std::optional<std::string> name = NameOf(it->path().lexically_relative(root));
        if (!name) {
            return Fail("cannot list a name that is no valid UTF-16 under " + options.folder, 2);
        }
        if (const char* reason = Unrepresentable(*name)) {
            return Fail("cannot list \"" + *name + "\": " + reason, 2);
        }
        entries.push_back({*name, it->file_size(), ""});
    }
    if (error) {
        return Fail("cannot read " + options.folder + ": " + error.message(), 2);
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    if (const std::string twin = CaseTwinOf(entries); !twin.empty()) {
        return Fail("cannot list two names for one file on Windows: \"" + twin + "\"", 2);
    }
    return 0;
}

// Every entry's SHA-256; 0 or the exit code.
int HashFiles(const fs::path& root, std::vector<Entry>& entries) {
    for (Entry& entry : entries) {
        if (entry.size >= kAnnouncedSize) {
            std::cerr << "make-manifest: hashing " << entry.name << " (" << (entry.size >> 20)
                      << " MiB)\n";
        }
        if (!HashFile(root / PathOf(entry.name), entry.size, entry.sha256)) {
            return Fail("cannot read " + entry.name + " whole, or it changed while being read", 2);
        }
    }
    return 0;
}

// The manifest's text. "Mirrors" comes last: a reader that cannot take it has read the rest.
std::string ManifestText(const Options& options, const std::vector<Entry>& entries) {
    uintmax_t totalSize = 0;
    for (const Entry& entry : entries) {
        totalSize += entry.size;
    }
    std::string text = "{\n";
    if (!options.version.empty()) {
        text += "\"Version\": \"" + options.version + "\",\n";
    }
    text += "\"TotalCount\": " + std::to_string(entries.size()) + ",\n";
    text += "\"TotalSize\": " + std::to_string(totalSize) + ",\n";
    text += "\"URL\": \"" + options.url + "\",\n";
    text += "\"FileList\": [\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        text +=
            "{\"Name\": \"" + entries[i].name + "\", \"Size\": " + std::to_string(entries[i].size);
        if (!entries[i].sha256.empty()) {
            text += ", \"SHA256\": \"" + entries[i].sha256 + "\"";
        }
        text += std::string("}") + (i + 1 < entries.size() ? ",\n" : "\n");
    }
    text += "]";
    for (size_t i = 0; i < options.mirrors.size(); ++i) {
        text += (i == 0 ? ",\n\"Mirrors\": [\n" : ",\n") + std::string("{\"URL\": \"") +
                options.mirrors[i] + "\"}";
    }
    text += options.mirrors.empty() ? "\n}\n" : "\n]\n}\n";
    return text;
}

// To standard output, or to the file and its signature; the exit code.
int WriteManifest(const Options& options, const std::string& text) {
    if (options.output.empty()) {
        std::cout << text;
        return std::cout ? 0 : 2;
    }
    std::ofstream file(PathOf(options.output), std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        return Fail("cannot write " + options.output, 2);
    }
    return options.signingKey.empty() ? 0
                                      : WriteSignature(options.signingKey, text, options.output);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // LF line ends, as on every system: the same folder gives the same bytes.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    Options options;
    if (!ReadOptions(Arguments(argc, argv), options)) {
        std::cerr << kUsage;
        return 1;
    }
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }
    if (!options.newKey.empty()) {
        return GenerateKey(options.newKey);
    }
    if (options.mirrors.size() > kMostMirrors) {
        return Fail("at most " + std::to_string(kMostMirrors) + " mirrors", 2);
    }
    for (const std::string& mirror : options.mirrors) {
        if (const char* reason = MirrorUrlProblem(mirror)) {
            return Fail("mirror " + mirror + " " + reason, 2);
        }
    }
    std::error_code error;
    const fs::path root = fs::canonical(PathOf(options.folder), error);
    if (error || !fs::is_directory(root)) {
        return Fail("not a folder: " + options.folder, 2);
    }
    std::vector<Entry> entries;
    if (const int code = ListFiles(root, options, entries)) {
        return code;
    }
    if (options.hashes) {
        if (const int code = HashFiles(root, entries)) {
            return code;
        }
    }
    return WriteManifest(options, ManifestText(options, entries));
}
