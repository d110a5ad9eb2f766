// The help page as a person gets it: the copy in the built plug-in folder, loaded by a real
// browser (headless Chromium), and its list of messages checked against what the module says.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/effect_messages.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPage = fs::path(QB_PLUGIN_DIR) / "help" / "index.html";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The browser to test with: QB_CHROMIUM when set, else the first of the usual names on PATH.
std::string find_chromium() {
    if (const char* chosen = std::getenv("QB_CHROMIUM"); chosen && *chosen) {
        return chosen;
    }
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        for (const char* name : {"chromium", "chromium-browser"}) {
            const fs::path candidate = fs::path(folder) / name;
            if (access(candidate.c_str(), X_OK) == 0) {
                return candidate.string();
            }
        }
    }
    return {};
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

struct BrowserRun {
    int status = -1;
    std::string dom;
    std::string log;
};

// Loads `page` once in a fresh profile and keeps the loaded DOM and the browser's log, where
// console messages appear as ":CONSOLE" lines.
BrowserRun load_in_browser(const std::string& chromium, const fs::path& page) {
    char pattern[] = "/tmp/qb_browser_XXXXXX";
    if (!mkdtemp(pattern)) {
        return {};
    }
    const fs::path work = pattern;
    const std::string command =
        "timeout 120 " + quoted(chromium) +
        " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
        " --disable-background-networking --disable-component-update --disable-sync"
        " --user-data-dir=" +
        quoted((work / "profile").string()) + " --enable-logging=stderr --v=0 --dump-dom " +
        quoted("file://" + fs::absolute(page).string()) + " >" +
        quoted((work / "dom.html").string()) + " 2>" + quoted((work / "log.txt").string());
    BrowserRun run;
    run.status = std::system(command.c_str());
    run.dom = read_file(work / "dom.html");
    run.log = read_file(work / "log.txt");
    fs::remove_all(work);
    return run;
}

// Every value of the attribute written as `marker` (for instance ` id="`), in order.
std::vector<std::string> attribute_values(const std::string& html, const std::string& marker) {
    std::vector<std::string> values;
    for (std::size_t at = html.find(marker); at != std::string::npos;
         at = html.find(marker, at + 1)) {
        const std::size_t start = at + marker.size();
        values.push_back(html.substr(start, html.find('"', start) - start));
    }
    return values;
}

class HelpPageInBrowser : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        chromium_ = find_chromium();
        if (!chromium_.empty() && fs::exists(kPage)) {
            run_ = load_in_browser(chromium_, kPage);
        }
    }

    void SetUp() override {
        ASSERT_TRUE(fs::is_regular_file(kPage)) << "the build did not copy the page to " << kPage;
        ASSERT_FALSE(chromium_.empty())
            << "Chromium is needed to check the help page: install the Debian package "
               "'chromium' (scripts/setup.sh does) or point QB_CHROMIUM at a browser";
        ASSERT_EQ(run_.status, 0) << "the browser failed to load the page:\n" << run_.log;
    }

    static inline std::string chromium_;
    static inline BrowserRun run_;
};

TEST_F(HelpPageInBrowser, LoadsWithoutConsoleMessages) {
    EXPECT_NE(run_.dom.find("<title>Quillbloom8.0 Help</title>"), std::string::npos) << run_.dom;
    EXPECT_NE(run_.dom.find("id=\"controls\""), std::string::npos);
    std::istringstream log(run_.log);
    for (std::string line; std::getline(log, line);) {
        EXPECT_EQ(line.find(":CONSOLE"), std::string::npos) << line;
    }
}

TEST_F(HelpPageInBrowser, EveryInternalLinkHasItsTarget) {
    const std::vector<std::string> links = attribute_values(run_.dom, "href=\"#");
    const std::vector<std::string> ids = attribute_values(run_.dom, " id=\"");
    const std::set<std::string> targets(ids.begin(), ids.end());
    EXPECT_EQ(targets.size(), ids.size()) << "an id is used twice";
    EXPECT_GE(links.size(), 10u);
    for (const std::string& link : links) {
        EXPECT_TRUE(targets.count(link)) << "#" << link << " leads nowhere";
    }
}

// A picture the page may show: a file of its own `pictures` folder, named without any way out
// of it.
bool is_own_picture(const std::string& source) {
    return source.starts_with("pictures/") && source.find("..") == std::string::npos &&
           source.find(':') == std::string::npos && source.ends_with(".png");
}

TEST_F(HelpPageInBrowser, NeedsNothingFromOutside) {
    EXPECT_EQ(run_.dom.find("<script"), std::string::npos);
    EXPECT_EQ(run_.dom.find("@import"), std::string::npos);
    for (const std::string& source : attribute_values(run_.dom, " src=\"")) {
        EXPECT_TRUE(is_own_picture(source)) << source;
    }
    for (const std::string& target : attribute_values(run_.dom, "href=\"")) {
        EXPECT_TRUE(target.starts_with("#") || target.starts_with("data:")) << target;
    }
}

// The page's pictures, loaded by the browser from the plug-in folder: a probe page of our own
// reports the size each picture was decoded at, or that it broke.
TEST_F(HelpPageInBrowser, EveryPictureLoads) {
    const std::vector<std::string> sources = attribute_values(run_.dom, " src=\"");
    ASSERT_GE(sources.size(), 7u) << "the shapes are no longer pictured";
    char pattern[] = "/tmp/qb_probe_XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    const fs::path probe = fs::path(pattern) / "probe.html";
    {
        std::ofstream page(probe);
        page << "<!DOCTYPE html><html><body>";
        for (const std::string& source : sources) {
            page << "<img data-name=\"" << source << "\" src=\"file://"
                 << fs::absolute(kPage.parent_path() / source).string() << "\">";
        }
        page << "<script>addEventListener('load', () => { for (const i of document.images) "
                "document.body.append(` ${i.dataset.name}=${i.naturalWidth}x${i.naturalHeight}`);"
                " });</script></body></html>";
    }
    const BrowserRun run = load_in_browser(chromium_, probe);
    fs::remove_all(pattern);
    ASSERT_EQ(run.status, 0) << run.log;
    for (const std::string& source : sources) {
        EXPECT_TRUE(fs::is_regular_file(kPage.parent_path() / source))
            << source << " was not made by the build";
        const std::string shown = " " + source + "=";
        const std::size_t at = run.dom.find(shown);
        ASSERT_NE(at, std::string::npos) << run.dom;
        EXPECT_NE(run.dom.substr(at + shown.size(), 3), "0x0") << source << " did not load";
    }
}

// The C string literal opening at `source[open]`, continued across adjacent literals.
std::string literal_at(const std::string& source, std::size_t open) {
    std::string text;
    std::size_t at = open + 1;
    while (at < source.size()) {
        const char c = source[at++];
        if (c == '\\' && at < source.size()) {
            text += source[at++];
        } else if (c != '"') {
            text += c;
        } else {
            const std::size_t next = source.find_first_not_of(" \t\r\n", at);
            if (next == std::string::npos || source[next] != '"') {
                break;
            }
            at = next + 1;
        }
    }
    return text;
}

// The module's user-facing texts as its sources spell them: a literal that opens with one of the
// texts below, or one of the message prefixes followed by the rest of the text.
std::vector<std::string> module_messages() {
    struct Opening {
        const char* source;  // as the source spells it, up to the quote that opens a literal
        const char* text;    // what it stands for, before that literal
    };
    const Opening openings[] = {
        {"QB_MESSAGE \"", QB_MESSAGE},
        {"QB_ENGINE_MESSAGE \"", QB_ENGINE_MESSAGE},
        {"\"[\" QB_RENDER_MESSAGE \"", "[" QB_RENDER_MESSAGE},
        {" QB_RENDER_MESSAGE \"", QB_RENDER_MESSAGE},
        {"\"Couldn't load ADM", ""},
        {"\"Couldn't unload ADM", ""},
        {"\"Glimmerdeep:", ""},
        {"\"Not able to", ""},
        {"\"Unsupported format", ""},
        {"\"Can not allocate", ""},
    };
    std::vector<std::string> found;
    for (const char* subsystem : {"plugin", "shapes", "render"}) {
        for (const auto& entry :
             fs::recursive_directory_iterator(fs::path(QB_SOURCE_DIR) / subsystem)) {
            if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") {
                continue;
            }
            const std::string source = read_file(entry.path());
            for (const Opening& opening : openings) {
                const std::string spelled = opening.source;
                for (std::size_t at = source.find(spelled); at != std::string::npos;
                     at = source.find(spelled, at + 1)) {
                    // The literal opens at the last quote of the spelling.
                    found.push_back(opening.text + literal_at(source, at + spelled.rfind('"')));
                }
            }
        }
    }
    return found;
}

std::string page_text() {
    std::string text = read_file(kPage);
    for (const auto& [entity, character] :
         {std::pair{"&lt;", "<"}, std::pair{"&gt;", ">"}, std::pair{"&amp;", "&"}}) {
        for (std::size_t at = text.find(entity); at != std::string::npos;
             at = text.find(entity, at + 1)) {
            text.replace(at, std::string(entity).size(), character);
        }
    }
    return text;
}

// Whether `text` from `at` on matches the printf format `format`, where %d stands for a number
// and %s for any text.
bool matches_format_at(const std::string& text, std::size_t at, std::string_view format) {
    if (format.empty()) {
        return true;
    }
    if (format.starts_with("%d")) {
        std::size_t end = at;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
            ++end;
        }
        return end > at && matches_format_at(text, end, format.substr(2));
    }
    if (format.starts_with("%s")) {
        for (std::size_t end = at; end <= text.size(); ++end) {
            if (matches_format_at(text, end, format.substr(2))) {
                return true;
            }
        }
        return false;
    }
    return at < text.size() && text[at] == format.front() &&
           matches_format_at(text, at + 1, format.substr(1));
}

bool contains_format(const std::string& text, const std::string& format) {
    const std::string fixed_start = format.substr(0, format.find('%'));
    for (std::size_t at = text.find(fixed_start); at != std::string::npos;
         at = text.find(fixed_start, at + 1)) {
        if (matches_format_at(text, at, format)) {
            return true;
        }
    }
    return false;
}

TEST(HelpPage, ListsEveryMessageTheModuleGivesExactly) {
    const std::string page = page_text();
    const std::vector<std::string> messages = module_messages();
    EXPECT_GE(messages.size(), 10u) << "the sources were not found under " << QB_SOURCE_DIR;
    for (const std::string& message : messages) {
        EXPECT_TRUE(contains_format(page, message))
            << "the help page does not list \"" << message << "\"";
    }
}

}  // namespace
