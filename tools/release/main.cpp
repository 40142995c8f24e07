// klv-release: makes a release of the package in the update server's releases
// folder from a folder of files, and publishes it.
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>

#include <exception>
#include <string>

#include "release.h"
#include "releases.h"

namespace {

constexpr char kUsage[] =
    "usage: klv-release [--name NAME] [--certificate CERT.pem] [--no-publish] [--dry-run]\n"
    "                   SOURCE_FOLDER RELEASES_FOLDER\n"
    "\n"
    "Makes RELEASES_FOLDER/NAME from the files of SOURCE_FOLDER with a files.txt whose\n"
    "versions launchers trust, and points RELEASES_FOLDER/current at it by one rename\n"
    "(klv-update-server RELEASES_FOLDER serves it; a synchronisation that started\n"
    "on the previous release goes on with it).\n"
    "\n"
    "  an executable       the file version of its version resource; one that changed\n"
    "                      must come with a version after the previous one\n"
    "  any other file      the previous release's version while its content is the same,\n"
    "                      that version raised (last component + 1) when it changed,\n"
    "                      1.0.0.1 when it is new\n"
    "\n"
    "Refused: a name the launcher's package-name rule refuses, a link, an executable\n"
    "that changed without a newer version, and with --certificate an image not signed\n"
    "with its key. files.txt and files_o.txt in SOURCE_FOLDER are ignored.\n"
    "\n"
    "  --name NAME    the release's folder (letters, digits, . _ -); default: the\n"
    "                 time in UTC, YYYYMMDD-HHMMSS\n"
    "  --certificate CERT.pem\n"
    "                 the launcher's signing certificate: every Windows image must carry\n"
    "                 an intact Authenticode signature made with its key\n"
    "  --no-publish   make the release folder, leave current as it is\n"
    "  --dry-run      print what would change, write nothing\n"
    "  --help         this text\n"
    "\n"
    "Prints one line per file that was added, changed or removed against the release\n"
    "that current names. Exit status: 0 published (or nothing to publish), 1 refused\n"
    "or failed, 2 usage.\n";

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string TimeName() {
    const time_t now = time(nullptr);
    struct tm utc {};
    gmtime_r(&now, &utc);
    char text[32];
    strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
    return text;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace klv::release;
    std::string name, certificate;
    bool publish = true, dryRun = false;
    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--name" && i + 1 < argc) {
            name = argv[++i];
        } else if (arg == "--certificate" && i + 1 < argc) {
            certificate = argv[++i];
        } else if (arg == "--no-publish") {
            publish = false;
        } else if (arg == "--dry-run") {
            dryRun = true;
        } else if (!arg.empty() && arg[0] == '-') {
            fprintf(stderr, "klv-release: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            folders.push_back(arg);
        }
    }
    if (folders.size() != 2) {
        fputs(kUsage, stderr);
        return 2;
    }
    if (name.empty()) name = TimeName();
    if (!klv::update_server::IsReleaseName(name)) {
        fprintf(stderr, "klv-release: %s is not a release name (letters, digits, . _ -)\n", name.c_str());
        return 2;
    }
    const std::string source = WithSlash(folders[0]), releases = WithSlash(folders[1]);
    if (!IsFolder(source) || !IsFolder(releases)) {
        fprintf(stderr, "klv-release: not a folder: %s\n", IsFolder(source) ? releases.c_str() : source.c_str());
        return 2;
    }
    try {
        const std::string previous = CurrentRelease(releases);
        const Plan plan =
            PlanRelease(source, previous.empty() ? std::string() : releases + previous + "/", certificate);
        for (const std::string& ignored : plan.ignored)
            printf("ignored  %s (the release's manifest is written anew)\n", ignored.c_str());
        int unchanged = 0;
        for (const Change& c : plan.changes) {
            switch (c.kind) {
                case Change::Added:
                    printf("added    %s %s\n", c.name.c_str(), c.newVersion.c_str());
                    break;
                case Change::Changed:
                    printf("changed  %s %s -> %s\n", c.name.c_str(), c.oldVersion.c_str(), c.newVersion.c_str());
                    break;
                case Change::Removed:
                    printf("removed  %s %s\n", c.name.c_str(), c.oldVersion.c_str());
                    break;
                case Change::Unchanged:
                    ++unchanged;
                    break;
            }
        }
        printf("%d unchanged against %s\n", unchanged, previous.empty() ? "no previous release" : previous.c_str());
        if (!previous.empty() && !plan.HasChanges()) {
            printf("nothing changed: %s stays current\n", previous.c_str());
            return 0;
        }
        if (dryRun) return 0;
        WriteRelease(plan, releases, name, publish);
        printf(publish ? "published %s\n" : "made %s (not published)\n", name.c_str());
        return 0;
    } catch (const std::exception& e) {
        fprintf(stderr, "klv-release: %s\n", e.what());
        return 1;
    }
}
