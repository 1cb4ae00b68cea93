// The console front end's lines: which encoding reaches a handle, and the bytes it gives.
#include "util/output_text.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(OutputText, AConsoleGetsWideTextAndACaptureTheConsolesCodePageOrUtf8) {
    const unsigned long noBestFit = WC_NO_BEST_FIT_CHARS;
    const struct {
        const char* name;
        bool hasConsole;
        bool redirected;
        unsigned codePage;
        TextEncoding chosen;
    } cases[] = {
        {"console", true, false, 850, {TextForm::Console, 0, 0}},
        {"for /f in an OEM console", true, true, 850, {TextForm::Bytes, 850, noBestFit}},
        {"captured in a Western console", true, true, 1252, {TextForm::Bytes, 1252, noBestFit}},
        {"chcp 65001", true, true, 65001, {TextForm::Bytes, 65001, 0}},
        {"a Japanese console", true, true, 932, {TextForm::Bytes, 932, noBestFit}},
        {"GB18030 takes no flags", true, true, 54936, {TextForm::Bytes, 54936, 0}},
        {"ISO-2022-JP takes no flags", true, true, 50220, {TextForm::Bytes, 50220, 0}},
        {"ISCII takes no flags", true, true, 57006, {TextForm::Bytes, 57006, 0}},
        {"UTF-7 takes no flags", true, true, 65000, {TextForm::Bytes, 65000, 0}},
        {"console code page unreadable", true, true, 0, {TextForm::Bytes, 65001, 0}},
        {"no console (a service, a scheduled task)", false, true, 0, {TextForm::Bytes, 65001, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseTextEncoding(c.hasConsole, c.redirected, c.codePage), c.chosen) << c.name;
}

TEST(OutputText, APathIsEncodedAsItsReaderDecodesItAndNeverAsALookAlike) {
    const std::wstring path = L"C:\\Users\\Zo\u00eb\\Quillfen.txt";
    const struct {
        unsigned codePage;
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {850, path, "C:\\Users\\Zo\x89\\Quillfen.txt"},
        {1252, path, "C:\\Users\\Zo\xEB\\Quillfen.txt"},
        {65001, path, "C:\\Users\\Zo\xC3\xAB\\Quillfen.txt"},
        // Best fit would write "a", naming another folder that may exist.
        {1252, L"C:\\\u0101", "C:\\?"},
        {850, L"C:\\\u4e2d", "C:\\?"},
        // A code page the system cannot convert to: UTF-8 rather than nothing.
        {12345, path, "C:\\Users\\Zo\xC3\xAB\\Quillfen.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeText(c.text, ChooseTextEncoding(true, true, c.codePage)), c.bytes) << c.codePage;
    }
    EXPECT_EQ(EncodeText(path, ChooseTextEncoding(true, false, 850)), "");
}

}  // namespace
