#pragma once
// The report's bytes as the operator reads them: the printer writes in code page 1250.
#include <QString>
#include <string>

// The text of one report line; a NUL byte ends it.
QString ReportText(const std::string& bytes);
