#include "name_key.h"

#include "package/record_name.h"

namespace stubpack {

std::string StoredName(const std::string& utf8Name) {
    return utf8Name.substr(0, package::StoredNameLength(utf8Name.data(), utf8Name.size()));
}

std::string WindowsNameKey(const std::string& utf8Name) {
    std::string key = StoredName(utf8Name);
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return key;
}

}  // namespace stubpack
