// How a reader of files and streams reads an input, decided from its first
// bytes (tavrin_input_form and tavrin_utf16_is_text in tavrin_c.h, which
// state the contract): as bytes in the encoding chosen, or as UTF-16. One
// decision, so that the tool and the Python package cannot read the same
// file two ways.
#ifndef TAVRIN_API_INPUTFORM_H_
#define TAVRIN_API_INPUTFORM_H_

#include <cstddef>
#include <string_view>

namespace Tavrin {

// One of the TAVRIN_INPUT_* forms for an input whose first bytes are
// `head`; `flags` holds TAVRIN_INPUT_ENCODING_NAMED and TAVRIN_INPUT_WHOLE.
int DecideInputForm(std::string_view head, unsigned flags) noexcept;

// Whether `window`, UTF-16 code units from an even offset after the mark,
// holds a code unit from U+0001 to U+00FF.
bool Utf16WindowIsText(std::string_view window, bool big_endian) noexcept;

}  // namespace Tavrin

#endif  // TAVRIN_API_INPUTFORM_H_
