// ContentReader: what the matching engine asks of a file's contents. A stage that needs a
// digest or a link's target asks the reader, which reads it on its own workers and hands the
// answer back through the provider's add. The engine never reads a file itself.
#pragma once

#include "foundation/future.h"
#include "matching/match_criterion.h"
#include "matching/matching_node.h"
#include "matching/parked_file_node.h"

namespace zarnik {

class EquivalenceCandidatesProviderImpl;

class ContentReader {
 public:
  virtual ~ContentReader() = default;
  // Digests the node as `kind` asks and feeds the digest back through `provider`'s add; the
  // future completes once the request is accepted or done (the provider counts it as work in
  // flight until then).
  virtual Future<Void> calculateHash(const MatchingNodePtr& node, HashKind kind,
                                     EquivalenceCandidatesProviderImpl& provider) = 0;
  // The node as it waits for a file like it: its folder and name alone, with what is known of
  // its content, or the node itself when something else holds this very node.
  [[nodiscard]] virtual ParkedFileNode parked(const MatchingNodePtr& node) const {
    return {node, false};
  }
  // The same for a file set aside as its folder and name, `size` bytes long when it was listed.
  // A file gone or changed since is not digested.
  virtual Future<Void> calculateHash(ParkedFileNode file, ByteCount size, HashKind kind,
                                     EquivalenceCandidatesProviderImpl& provider) {
    auto node = file.unpark(size);
    if (node.hasError()) return makeSucceededFuture(Void{});
    return calculateHash(node.value(), kind, provider);
  }
  // Reads the link's stored target and feeds it back through `provider`'s add.
  virtual Future<Void> matchSymLink(const MatchingNodePtr& node,
                                    EquivalenceCandidatesProviderImpl& provider) = 0;
};

}  // namespace zarnik
