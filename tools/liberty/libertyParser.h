#ifndef TAMBRIL_TOOLS_LIBERTY_LIBERTYPARSER_H
#define TAMBRIL_TOOLS_LIBERTY_LIBERTYPARSER_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The syntax of Liberty files (.lib): nested groups `type (args) { ... }`, simple attributes
// `name : value ;` and complex attributes `name (args) ;`, with /* */ comments and lines
// continued by a backslash. What the statements mean is left to the cell reader.
namespace tambril::liberty {

struct Attribute {
  std::string_view name;
  // A simple attribute has one value (quotes removed); a complex one has its arguments.
  std::vector<std::string_view> values;
  bool simple = true;
  int line = 0;
};

struct Group {
  std::string_view type;  // "library", "cell", "pin", "timing", "cell_rise", ...
  std::vector<std::string_view> args;
  int line = 0;
  std::vector<Attribute> attributes;
  std::vector<int> children;  // indices into Document::groups, in file order

  // The first attribute of this name, or nullptr.
  const Attribute* Find(std::string_view name) const;
  // The value of the simple attribute `name`, or empty when there is none.
  std::string_view Value(std::string_view name) const;
};

// A parsed file. Every string_view points into `text`, which the document owns. The text sits
// on the heap of its own, so that moving or copying the document leaves the views valid (a
// short string moved with the document would take its characters along).
struct Document {
  std::string fileName;
  std::shared_ptr<const std::string> text;
  std::vector<Group> groups;  // groups[0] is the top-level group (the library)
};

// Parses the Liberty text of `fileName`. Throws FormatError with the line
// "PROGRAM: FILE:LINE: message" when the text is not well-formed: an unterminated comment or
// string, an unbalanced brace, a statement that is neither an attribute nor a group, groups
// nested deeper than 64 levels, or anything but one top-level group.
Document Parse(std::string text, const std::string& fileName, const std::string& program);

}  // namespace tambril::liberty

#endif
