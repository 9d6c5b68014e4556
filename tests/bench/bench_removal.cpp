// bench_removal.exe: times the list-driven removal of a large install
// against a bare loop of DeleteFileA and RemoveDirectoryA over the same
// tree, in the same run.
//
//   bench_removal.exe ROOT [CHAIN_DEPTH] [ROUNDS]
//
// Layouts, each made afresh below ROOT for every removal:
//   installer  10 x 10 x 10 folders, 10 files in each innermost folder
//              (10,000 files in 1,110 folders), listed as an installer
//              writes them: each folder before its files
//   reverse    the same tree listed backwards: files, then their folders
//              from the inside out
//   worst      10,000 files spread over a chain of CHAIN_DEPTH nested
//              folders (default 16), folders listed outside-in before all
//              files: a removal that tries folders in list order needs a
//              pass for each level
// Each layout is removed both ways in ROUNDS rounds (default 7), the order
// alternating. Prints one line per removal: layout, method, entries,
// passes, milliseconds.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "uninstall/listfile.h"
#include "uninstall/uninstall.h"

namespace {

struct Layout {
    std::vector<std::string> folders; // outside-in
    std::vector<std::string> files;
    std::vector<std::string> listed;  // the list's order
};

Layout InstallerLayout()
{
    Layout layout;
    for (int a = 0; a < 10; a++) {
        std::string top = "Top" + std::to_string(a);
        layout.folders.push_back(top);
        layout.listed.push_back(top);
        for (int b = 0; b < 10; b++) {
            std::string mid = top + "\\Mid" + std::to_string(b);
            layout.folders.push_back(mid);
            layout.listed.push_back(mid);
            for (int c = 0; c < 10; c++) {
                std::string leaf = mid + "\\Leaf" + std::to_string(c);
                layout.folders.push_back(leaf);
                layout.listed.push_back(leaf);
                for (int f = 0; f < 10; f++) {
                    std::string file = leaf + "\\file" + std::to_string(f) + ".dat";
                    layout.files.push_back(file);
                    layout.listed.push_back(file);
                }
            }
        }
    }
    return layout;
}

Layout ReverseLayout()
{
    Layout layout = InstallerLayout();
    std::reverse(layout.listed.begin(), layout.listed.end());
    return layout;
}

Layout NestedLayout(int depth)
{
    Layout layout;
    std::string folder;
    for (int d = 0; d < depth; d++) {
        folder += (d ? "\\n" : "n") + std::to_string(d);
        layout.folders.push_back(folder);
        layout.listed.push_back(folder);
    }
    for (int i = 0; i < 10000; i++) {
        std::string at = layout.folders[i % depth];
        std::string file = at + "\\f" + std::to_string(i) + ".dat";
        layout.files.push_back(file);
    }
    layout.listed.insert(layout.listed.end(), layout.files.begin(), layout.files.end());
    return layout;
}

std::string Join(const std::string &root, const std::string &name)
{
    return root + "\\" + name;
}

void Create(const std::string &root, const Layout &layout)
{
    CreateDirectoryA(root.c_str(), NULL);
    for (const std::string &folder : layout.folders)
        CreateDirectoryA(Join(root, folder).c_str(), NULL);
    for (const std::string &file : layout.files) {
        HANDLE h = CreateFileA(Join(root, file).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written;
            WriteFile(h, "data", 4, &written, NULL);
            CloseHandle(h);
        }
    }
}

double Now()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * (double)counter.QuadPart / (double)frequency.QuadPart;
}

// Whatever is left below root (should be nothing).
int Leftovers(const std::string &root, const Layout &layout)
{
    int left = 0;
    for (const std::string &name : layout.files)
        left += GetFileAttributesA(Join(root, name).c_str()) != INVALID_FILE_ATTRIBUTES;
    for (const std::string &name : layout.folders)
        left += GetFileAttributesA(Join(root, name).c_str()) != INVALID_FILE_ATTRIBUTES;
    return left;
}

void Report(const char *layoutName, const char *method, size_t entries, int passes, double ms,
            int left, const char *more = "")
{
    printf("%-9s %-8s entries=%zu passes=%d ms=%.0f left=%d%s\n", layoutName, method, entries, passes,
           ms, left, more);
    fflush(stdout);
}

double RemoveListed(const std::string &root, const char *name, const Layout &layout)
{
    // The uninstall's own removal, from a list file.
    Create(root, layout);
    std::string listPath = root + ".lst";
    FILE *list = fopen(listPath.c_str(), "wb");
    for (const std::string &entry : layout.listed)
        fprintf(list, "%s\r\n", entry.c_str());
    fclose(list);
    list = fopen(listPath.c_str(), "rb");
    // As the uninstall runs it: the check for a running program first, and
    // the passes keeping what stays in use and what else stays.
    std::string prefix = root + "\\";
    double start = Now();
    char running[MAX_PATH];
    FindRunningProgram(list, prefix.c_str(), "", running);
    double found = Now();
    HeldFiles held = {}, left = {};
    left.lineFormat = "line %s";
    int passes = RemoveListedFiles(list, prefix.c_str(), &held, &left);
    double ms = Now() - start;
    FreeHeldFiles(&held);
    FreeHeldFiles(&left);
    // Parts of the gap to the floor: the check for a running program, and
    // one reading of the list (each pass reads it once).
    double readStart = Now();
    char entry[MAX_PATH];
    while (ReadListEntry(list, prefix.c_str(), entry)) {
    }
    char more[64];
    snprintf(more, sizeof more, " find=%.0f read=%.0f", found - start, Now() - readStart);
    fclose(list);
    DeleteFileA(listPath.c_str());
    Report(name, "listed", layout.listed.size(), passes, ms, Leftovers(root, layout), more);
    RemoveDirectoryA(root.c_str());
    return ms;
}

double RemoveBare(const std::string &root, const char *name, const Layout &layout)
{
    // The bare loop: every file, then every folder inside-out, once.
    Create(root, layout);
    double start = Now();
    for (const std::string &file : layout.files)
        DeleteFileA(Join(root, file).c_str());
    for (size_t i = layout.folders.size(); i-- > 0;)
        RemoveDirectoryA(Join(root, layout.folders[i]).c_str());
    double ms = Now() - start;
    Report(name, "bare", layout.files.size() + layout.folders.size(), 1, ms, Leftovers(root, layout));
    RemoveDirectoryA(root.c_str());
    return ms;
}

// Rounds alternate which contender goes first, so that neither always
// meets a freshly made tree or a busier moment of a shared machine.
void Run(const std::string &root, const char *name, const Layout &layout, int rounds)
{
    for (int round = 0; round < rounds; round++) {
        if (round % 2 == 0) {
            RemoveListed(root, name, layout);
            RemoveBare(root, name, layout);
        } else {
            RemoveBare(root, name, layout);
            RemoveListed(root, name, layout);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_removal ROOT [CHAIN_DEPTH] [ROUNDS]\n");
        return 2;
    }
    std::string root = argv[1];
    int depth = argc > 2 ? atoi(argv[2]) : 16;
    if (depth < 1 || depth > 100)
        depth = 16;
    CreateDirectoryA(root.c_str(), NULL);
    int rounds = argc > 3 ? atoi(argv[3]) : 7;
    if (rounds < 1 || rounds > 20)
        rounds = 7;
    Run(Join(root, "installer"), "installer", InstallerLayout(), rounds);
    Run(Join(root, "reverse"), "reverse", ReverseLayout(), rounds);
    Run(Join(root, "worst"), "worst", NestedLayout(depth), rounds);
    RemoveDirectoryA(root.c_str());
    return 0;
}
