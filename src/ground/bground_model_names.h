// How an object finds the number of a named ground model for its collision triangles. The
// ground-model table implements it; an object without one knows no names.
#pragma once

#include <string>

namespace VadiZov {

class GroundModelNames {
public:
    // The number of the ground model with this upper-case name, or -1 when there is none.
    virtual int findGroundModel(const std::string& upperName) const = 0;

protected:
    ~GroundModelNames() = default;
};

} // namespace VadiZov
