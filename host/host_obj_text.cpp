#include "host/host_obj_text.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace VadiZov::host {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The line's tokens as the loader splits them: blanks between, a carriage return ends one.
std::vector<std::string_view> tokensOf(std::string_view rest)
{
    std::vector<std::string_view> tokens;
    size_t at = 0;
    while (at < rest.size()) {
        while (at < rest.size() && (isBlank(rest[at]) || rest[at] == '\r'))
            ++at;
        const size_t start = at;
        while (at < rest.size() && !isBlank(rest[at]) && rest[at] != '\r')
            ++at;
        if (at > start)
            tokens.push_back(rest.substr(start, at - start));
    }
    return tokens;
}

// A number that is NaN or infinite, or finite only as a double, is no coordinate. Text that is
// no number at all is left to the loader, which reads it as 0.
bool finiteCoordinate(std::string_view token)
{
    const std::string text(token);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str())
        return true;
    return std::isfinite(value) && std::fabs(value) <= double(FLT_MAX);
}

bool startsWith(std::string_view line, const char* keyword)
{
    const size_t n = std::strlen(keyword);
    return line.size() > n && line.compare(0, n, keyword) == 0 && isBlank(line[n]);
}

class Scanner {
public:
    Scanner(const std::string& path, ObjLineNumbers* lines, std::string* error)
        : path_(path), lines_(lines), error_(error)
    {
    }

    // One line without its end; false after setting the error.
    bool line(std::string_view text, uint32_t number)
    {
        // The loader reads a line as a C string: a zero byte ends it.
        const size_t zero = text.find('\0');
        if (zero != std::string_view::npos)
            text = text.substr(0, zero);
        while (!text.empty() && isBlank(text.front()))
            text.remove_prefix(1);
        if (startsWith(text, "v"))
            return coordinates(text.substr(2), 3, &lines_->positions, number, "vertex positions");
        if (startsWith(text, "vn"))
            return coordinates(text.substr(3), 3, &lines_->normals, number, "normals");
        if (startsWith(text, "vt"))
            return coordinates(text.substr(3), 2, &lines_->texcoords, number, "texture coordinates");
        if (startsWith(text, "f"))
            return face(text.substr(2), number);
        return true;
    }

private:
    bool coordinates(std::string_view rest, size_t count, std::vector<uint32_t>* lines, uint32_t number,
                     const char* what)
    {
        if (lines->size() >= kMaxObjCoordinateLines) {
            *error_ = tooMany(number, kMaxObjCoordinateLines, what);
            return false;
        }
        lines->push_back(number);
        const std::vector<std::string_view> tokens = tokensOf(rest);
        for (size_t i = 0; i < count && i < tokens.size(); ++i) {
            if (!finiteCoordinate(tokens[i])) {
                *error_ = nonFiniteCoordinateMessage(path_, number);
                return false;
            }
        }
        return true;
    }

    bool face(std::string_view rest, uint32_t number)
    {
        const size_t vertices = tokensOf(rest).size();
        triangles_ += vertices > 2 ? vertices - 2 : 0;
        if (triangles_ > kMaxObjTriangles) {
            *error_ = tooMany(number, kMaxObjTriangles, "triangles");
            return false;
        }
        if (vertices <= kMaxObjFaceVertices)
            return true;
        *error_ = "mesh file " + path_ + " line " + std::to_string(number) + ": a face of " +
                  std::to_string(vertices) + " vertices; faces of more than " + std::to_string(kMaxObjFaceVertices) +
                  " are refused";
        return false;
    }

    std::string tooMany(uint32_t number, size_t limit, const char* what) const
    {
        return "mesh file " + path_ + " line " + std::to_string(number) + ": more than " + std::to_string(limit) + " " +
               what + "; larger meshes are refused";
    }

    const std::string& path_;
    ObjLineNumbers* lines_;
    std::string* error_;
    size_t triangles_ = 0;
};

} // namespace

std::string nonFiniteCoordinateMessage(const std::string& path, uint32_t line)
{
    return "malformed mesh file " + path + " line " + std::to_string(line) + ": a coordinate that is not a finite number";
}

bool scanObjText(const std::string& text, const std::string& path, ObjLineNumbers* lines, std::string* error)
{
    Scanner scanner(path, lines, error);
    uint32_t number = 0;
    size_t start = 0;
    // Lines end with "\n", "\r\n" or a lone "\r", as the loader reads them.
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        if (!scanner.line(std::string_view(text).substr(start, end - start), ++number))
            return false;
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return true;
}

} // namespace VadiZov::host
