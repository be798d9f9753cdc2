#include "output/trace.h"

#include "output/trace_view.h"

namespace {

template <Encoding E>
void trace_in(const Image& image, const WalkOptions& options, bool escape, Record& record) {
  TraceView<E> view{image.size, escape};
  walk(image, options, view, record);
}

}  // namespace

void print_trace(const Image& image, const WalkOptions& options, Output o, Record& record) {
  if (o.encoding == Encoding::utf8)
    trace_in<Encoding::utf8>(image, options, o.escape, record);
  else
    trace_in<Encoding::cp932>(image, options, o.escape, record);
}
