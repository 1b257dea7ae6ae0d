#pragma once
// The JSON prelude: the script every document's engine receives before anything is loaded.
//
// It defines get__count(value) (the number of names a for-in loop over value yields, minus the
// two that the prelude itself puts on Object.prototype), makes sure JSON exists, and adds what
// the engine lacks of ECMAScript 5: Date.prototype.toJSON (with toJSON on the primitive
// wrappers), JSON.stringify and JSON.parse. Last it puts the enumerable
// Object.prototype.toJSONString(filter) and Object.prototype.parseJSON(filter) on every object.
// In an engine with native JSON only get__count, toJSONString and parseJSON are added.
#include <string_view>

std::string_view jsonPrelude();
