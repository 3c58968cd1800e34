#include "merge/request.h"

#include <cmath>
#include <cstdio>

#include "common/text.h"

namespace qm {

namespace {

// A number as decimal text: whole numbers without a fraction, others with up to 15 digits.
std::string NumberToText(double value) {
    if (std::trunc(value) == value && std::fabs(value) < 9.2e18)
        return IntToText(static_cast<long long>(value));
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

constexpr double kTolerance = 0.0000001;

}  // namespace

std::string ReadRowRange(int modeIndex, std::string_view startText, std::string_view endText,
                         int recordsPerPage) {
    if (modeIndex == 0) {
        std::string range(startText);
        range += ' ';
        range += endText;
        return range;
    }
    if (modeIndex == 1) {
        const double p1 = TextToNumber(startText);
        const double p2 = TextToNumber(endText);
        const int start = TruncToInt((p1 - 1) * recordsPerPage + 1);
        const int end = TruncToInt(p2 * recordsPerPage);
        return IntToText(start) + " " + IntToText(end);
    }
    return {};
}

bool SplitRowRange(std::string_view range, std::string& startText, std::string& endText) {
    const std::vector<std::string> parts = SplitText(range, " ");
    if (parts.size() != 2) return false;
    startText = parts[0];
    endText = parts[1];
    return true;
}

std::string ProposedOutputFolder(std::string_view programFolder, std::string_view templateItem) {
    std::string folder(programFolder);
    folder += "/用户文档/";
    folder += StripExtension(templateItem);
    folder += '/';
    return folder;
}

std::string FolderToRemember(std::string_view chosenFolder, std::string_view templateBase) {
    std::string folder(chosenFolder);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string::npos || folder.substr(slash + 1) != templateBase)
        return folder == "/" ? folder : folder + "/";
    return slash == 0 ? std::string("/") : folder.substr(0, slash + 1);
}

std::string ConfirmationText(std::string_view chosenFolder, std::string_view referenceName,
                             std::string_view firstNumber, std::string_view lastNumber,
                             std::string_view extension) {
    const std::string ref(referenceName);
    const std::string ext(extension);
    std::string text = "　　文件将保存在“";
    text += chosenFolder;
    text += "”文件夹下，文件名命名为：";
    text += ref;
    text += firstNumber;
    text += ext;

    const double first = TextToNumber(firstNumber);
    const double d = TextToNumber(lastNumber) - first;
    const std::string second = NumberToText(first + 1);
    if (std::fabs(d - 1) <= kTolerance) {
        text += "、" + ref + std::string(lastNumber) + ext + "。";
    } else if (std::fabs(d - 2) <= kTolerance) {
        text += "、" + ref + second + ext + "、" + ref + std::string(lastNumber) + ext + "。";
    } else if (d - 2 > kTolerance) {
        text += "、" + ref + second + ext + "……" + ref + std::string(lastNumber) + ext + "。";
    }
    // A single name, a reversed range or a fractional difference: the first name stands alone.
    text += "\r\n　　如果确定无误请选择“是”，否则请选择“否”更改文件名或放弃保存。";
    return text;
}

}  // namespace qm
