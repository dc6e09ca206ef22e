// What the benchmarks share besides their clocks: the median of a set of figures, the table that prints
// each figure beside its target, and a throw-away station folder for the scripts they run.
#pragma once

#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

inline double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

inline std::string Format(const char* format, double value) {
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

// The figures of a benchmark; a target of "-" marks a figure that has none.
class CBenchTable {
public:
    void Report(const std::string& what, const char* format, double figure, const std::string& target,
                bool met) {
        m_rows.push_back({what, Format(format, figure), target, met});
    }

    // Prints the table; whether every target was met.
    bool Print() const {
        printf("\n%-64s %12s  %-30s %s\n", "measure", "figure", "target", "");
        bool all = true;
        for (const CRow& row : m_rows) {
            printf("%-64s %12s  %-30s %s\n", row.what.c_str(), row.figure.c_str(), row.target.c_str(),
                   row.target == "-" ? "" : (row.met ? "met" : "MISSED"));
            all = all && row.met;
        }
        return all;
    }

private:
    struct CRow {
        std::string what, figure, target;
        bool met;
    };
    std::vector<CRow> m_rows;
};

// A new folder in the temporary folder, the current folder while this lives; it goes, with the two
// scripts written into it, when this does.
class CBenchFolder {
public:
    explicit CBenchFolder(const char* prefix) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        GetTempFileNameA(temp, prefix, 0, m_path);
        DeleteFileA(m_path);
        CreateDirectoryA(m_path, nullptr);
        SetCurrentDirectoryA(m_path);
    }
    ~CBenchFolder() {
        DeleteFileA("sbs1station.php");
        DeleteFileA("uploader.php");
        SetCurrentDirectoryA("..");
        RemoveDirectoryA(m_path);
    }
    CBenchFolder(const CBenchFolder&) = delete;
    CBenchFolder& operator=(const CBenchFolder&) = delete;

    char m_path[MAX_PATH];
};
