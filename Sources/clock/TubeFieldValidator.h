#pragma once

#include <QValidator>

// The length limit of a tube field, in characters rather than in UTF-16
// units: a field's plain maxLength would cut an emoji in half and keep a
// lone surrogate, which no frame can carry. Text that is not whole UTF-16
// (a lone surrogate) is refused as well.
class TubeFieldValidator : public QValidator {
    Q_OBJECT

public:
    static constexpr int maximumCharacters = 2;

    explicit TubeFieldValidator(QObject* parent = nullptr);

    State validate(QString& input, int& position) const override;
};
