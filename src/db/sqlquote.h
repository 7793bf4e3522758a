#pragma once
// The one way a value enters SQL text: between single quotes, with every
// quote inside it doubled, so no value can end its literal or start another
// statement. LIKE patterns go through here too; "%" and "_" keep their meaning.
#include <string>
#include <vector>

namespace tarvelin {

std::string SqlQuote(const std::string& value);

// `sql` fit for the log: each secret's quoted literal (a password or its
// hash) replaced by '********'. Every statement that carries a secret is
// logged only through this.
std::string WithSecretsHidden(std::string sql, const std::vector<std::string>& secrets);

}  // namespace tarvelin
