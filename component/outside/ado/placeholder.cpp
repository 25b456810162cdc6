// PLACEHOLDER: replaced by the data-access layer.
