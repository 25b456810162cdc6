// PLACEHOLDER: replaced by the translator.
