// What the host checks in the text of an OBJ file before tinyobjloader reads it: every face
// has few enough vertices for the loader's polygon triangulation (its time grows with the square
// of a face's vertex count), and every coordinate is a finite 32-bit number. Each refusal names
// the file and the line. The check reads the lines as the loader does and takes time linear in
// the text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace VadiZov::host {

// Faces up to this many vertices cost at most about 2.5 times a quad's share per vertex with the
// Debian loader; a 10,000-vertex face took 0.35 s, a 40,000-vertex one 3.6 s.
constexpr size_t kMaxObjFaceVertices = 64;
// The loader keeps every face and every coordinate line, used or not, so these bound what a
// mesh file may cost: a mesh indexes at most 65535 vertices, four triangles a vertex is far more
// than a closed surface has, and sixteen lines of each kind a vertex leaves room for unused ones.
constexpr size_t kMaxObjTriangles = 4 * 65536;
constexpr size_t kMaxObjCoordinateLines = 16 * 65536;

// The line numbers of the file's "v", "vn" and "vt" lines, in order: the loader keeps one entry
// per such line, so an entry's index names its line.
struct ObjLineNumbers {
    std::vector<uint32_t> positions, normals, texcoords;
};

// False with a message naming `path` and the line when the text holds a face of more than
// kMaxObjFaceVertices vertices, more than kMaxObjTriangles triangles (a face of n vertices
// gives n - 2), more than kMaxObjCoordinateLines lines of one of "v", "vn" and "vt", or a
// coordinate that is not finite as a 32-bit float.
bool scanObjText(const std::string& text, const std::string& path, ObjLineNumbers* lines, std::string* error);

// The message for a coordinate the loader read as not finite, in the line that gave it.
std::string nonFiniteCoordinateMessage(const std::string& path, uint32_t line);

} // namespace VadiZov::host
