// Reads back what an installation made, the way other programs see it:
//
//     shortcut_reader link FILE...    one block per shortcut file
//     shortcut_reader font NAME...    one line per font family name
//
// A shortcut is loaded through the shell link object and printed as
//     link FILE
//     target TEXT
//     directory TEXT
//     arguments TEXT
//     icon TEXT,INDEX
// or "link FILE unreadable" when it cannot be loaded. A font is looked up
// by its family name with EnumFontFamiliesExA and by CreateFontA +
// GetTextFaceA, printed as
//     font NAME enumerated YES|NO face TEXT
// Exit code 0, or 2 on bad usage.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <stdio.h>
#include <string.h>

namespace {

void PrintLink(const char* file)
{
    IShellLinkA* link = nullptr;
    IPersistFile* persist = nullptr;
    WCHAR wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, file, -1, wide, MAX_PATH);
    bool loaded = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IShellLinkA, (void**)&link)) &&
                  SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&persist)) &&
                  SUCCEEDED(persist->Load(wide, STGM_READ));
    if (!loaded) {
        printf("link %s unreadable\n", file);
    } else {
        char text[1024] = "";
        int index = 0;
        printf("link %s\n", file);
        link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
        printf("target %s\n", text);
        text[0] = 0;
        link->GetWorkingDirectory(text, sizeof text);
        printf("directory %s\n", text);
        text[0] = 0;
        link->GetArguments(text, sizeof text);
        printf("arguments %s\n", text);
        text[0] = 0;
        link->GetIconLocation(text, sizeof text, &index);
        printf("icon %s,%d\n", text, index);
    }
    if (persist)
        persist->Release();
    if (link)
        link->Release();
}

int CALLBACK CountFamily(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found)
{
    *(int*)found = 1;
    return 0;
}

void PrintFont(const char* name)
{
    HDC dc = GetDC(nullptr);
    LOGFONTA wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, name, LF_FACESIZE);
    int found = 0;
    EnumFontFamiliesExA(dc, &wanted, CountFamily, (LPARAM)&found, 0);
    HFONT font = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET,
                             OUT_TT_ONLY_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH, name);
    HGDIOBJ old = SelectObject(dc, font);
    char face[LF_FACESIZE] = "";
    GetTextFaceA(dc, sizeof face, face);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    printf("font %s enumerated %s face %s\n", name, found ? "YES" : "NO", face);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || (strcmp(argv[1], "link") != 0 && strcmp(argv[1], "font") != 0)) {
        fprintf(stderr, "usage: shortcut_reader link FILE... | font NAME...\n");
        return 2;
    }
    bool links = strcmp(argv[1], "link") == 0;
    if (links)
        CoInitialize(nullptr);
    for (int i = 2; i < argc; ++i) {
        if (links)
            PrintLink(argv[i]);
        else
            PrintFont(argv[i]);
    }
    if (links)
        CoUninitialize();
    fflush(stdout);
    return 0;
}
