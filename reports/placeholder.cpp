// PLACEHOLDER: replaced by the report builders.
