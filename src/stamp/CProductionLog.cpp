#include "stamp/CProductionLog.h"

#include "writer/NumberFormat.h"

CProductionLog::CProductionLog(const std::string& path) : file_(path, "Log file create error") {
    file_.Write("input,output,first number,last number,pages\r\n");
}

void CProductionLog::AddRow(std::string_view input, std::string_view output, std::string_view first,
                            std::string_view last, int32_t pages) {
    std::string row = Field(input);
    row += ',';
    row += Field(output);
    row += ',';
    row += Field(first);
    row += ',';
    row += Field(last);
    row += ',';
    row += FormatInt(pages);
    row += "\r\n";
    file_.Write(row);
}

std::string CProductionLog::Field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}
