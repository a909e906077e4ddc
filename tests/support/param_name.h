#pragma once

#include <cctype>
#include <string>

// Names the rows of a parameterised test after the `name` field of their case, with every character
// GoogleTest does not take in a test name turned into '_'.
struct CaseName {
    template <typename Info> std::string operator()(const Info& info) const {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    }
};
