// Reads an extended dialog template (DLGTEMPLATEEX) out of the program's resources, as built.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CTemplateItem {
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    std::string className; // a predefined class by ordinal is given its name: Button, Edit, Static
    std::string title;     // a title given by ordinal (an icon) reads "#<number>"
};

struct CDialogTemplate {
    bool valid = false;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, className, title;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::string typeface;
    std::vector<CTemplateItem> items;
};

CDialogTemplate LoadDialogTemplate(UINT id);
