#include "DialogPresenter.h"

DialogPresenter::~DialogPresenter() = default;
