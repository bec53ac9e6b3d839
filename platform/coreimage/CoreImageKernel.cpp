#include "platform/coreimage/CoreImageKernel.h"

#include <cctype>

namespace platform::coreimage {
namespace {

// The text with comments replaced by blanks, so positions of the rest stay meaningful.
std::string WithoutComments(const std::string& text) {
    std::string out = text;
    for (size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] == '/' && out[i + 1] == '/') {
            while (i < out.size() && out[i] != '\n')
                out[i++] = ' ';
        } else if (out[i] == '/' && out[i + 1] == '*') {
            const size_t end = out.find("*/", i + 2);
            const size_t stop = end == std::string::npos ? out.size() : end + 2;
            for (; i < stop; ++i)
                if (out[i] != '\n') out[i] = ' ';
            --i;
        }
    }
    return out;
}

bool IsIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

class Scanner {
public:
    explicit Scanner(const std::string& text) : mText(text) {}
    size_t& Position() { return mPos; }
    void SkipBlanks() {
        while (mPos < mText.size() && std::isspace(static_cast<unsigned char>(mText[mPos])))
            ++mPos;
    }
    std::string Identifier() {
        SkipBlanks();
        const size_t start = mPos;
        while (mPos < mText.size() && IsIdentifierChar(mText[mPos]))
            ++mPos;
        return mText.substr(start, mPos - start);
    }
    bool Take(char c) {
        SkipBlanks();
        if (mPos >= mText.size() || mText[mPos] != c) return false;
        ++mPos;
        return true;
    }
    // Up to (not including) the closing parenthesis; false when there is none.
    bool Until(char c, std::string& out) {
        const size_t end = mText.find(c, mPos);
        if (end == std::string::npos) return false;
        out = mText.substr(mPos, end - mPos);
        mPos = end + 1;
        return true;
    }

private:
    const std::string& mText;
    size_t mPos = 0;
};

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string> Parameters(const std::string& list) {
    std::vector<std::string> parameters;
    if (Trimmed(list).empty()) return parameters;
    size_t start = 0;
    for (size_t comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1)
        parameters.push_back(Trimmed(list.substr(start, comma - start)));
    parameters.push_back(Trimmed(list.substr(start)));
    return parameters;
}

} // namespace

std::vector<std::shared_ptr<CIKernel>> CIKernel::kernelsWithString(const std::string& source) {
    const std::string text = WithoutComments(source);
    std::vector<std::shared_ptr<CIKernel>> kernels;
    Scanner scan(text);
    for (size_t at = 0; (at = text.find("kernel", at)) != std::string::npos; at += 6) {
        const bool wordStart = at == 0 || !IsIdentifierChar(text[at - 1]);
        const bool wordEnd = at + 6 >= text.size() || !IsIdentifierChar(text[at + 6]);
        if (!wordStart || !wordEnd) continue;
        scan.Position() = at + 6;
        auto kernel = std::make_shared<CIKernel>();
        kernel->mReturnType = scan.Identifier();
        kernel->mName = scan.Identifier();
        std::string list;
        if (kernel->mReturnType.empty() || kernel->mName.empty() || !scan.Take('(') ||
            !scan.Until(')', list) || !scan.Take('{'))
            return {};
        kernel->mParameters = Parameters(list);
        for (const std::string& parameter : kernel->mParameters)
            if (parameter.empty()) return {};
        kernels.push_back(std::move(kernel));
    }
    return kernels;
}

} // namespace platform::coreimage
