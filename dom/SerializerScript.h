#pragma once

#include <QString>

namespace pxt {

// The serializer (serializer.js) as a function expression of one argument, its options object;
// serializerScript() is its call with the options of SerializerOptions. A caller that needs an
// option of the script that SerializerOptions does not carry (frameSlots) calls it itself.
QString serializerFunction();

} // namespace pxt
