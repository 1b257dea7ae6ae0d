#include "http/convert_charset.h"

#include "platform/automation.h"
#include "platform/com.h"

namespace {
constexpr int adTypeBinary = 1;
constexpr int adTypeText = 2;
}  // namespace

Bytes convertCharset(const Bytes& data, const Text& fromCharset, const Text& toCharset,
                     std::optional<int> readPosition) {
    const Text from = fromCharset.empty() ? Text("UTF-8") : fromCharset;
    const Text to = toCharset.empty() ? Text("GBK") : toCharset;
    CoInitialize(nullptr);
    Bytes result;
    {
        // No step is checked: a failed one makes the later ones fail too, down to an empty Read.
        AutomationObject stream;
        stream.create("Adodb.Stream");
        stream.writeProperty("Type", adTypeBinary);
        stream.callMethod("Open");
        stream.callMethod("Write", {data});
        stream.writeProperty("Position", 0);
        stream.writeProperty("Type", adTypeText);
        stream.writeProperty("Charset", from);
        const Variant text = stream.callMethod("ReadText");
        stream.callMethod("Close");
        stream.callMethod("Open");
        stream.writeProperty("Charset", to);
        stream.callMethod("WriteText", {text});
        stream.writeProperty("Position", 0);
        stream.writeProperty("Type", adTypeBinary);
        if (readPosition) stream.writeProperty("Position", *readPosition);
        result = stream.callMethod("Read").toBytes();
        stream.release();
    }
    CoUninitialize();
    return result;
}
