# make docs: the pages of docs/ that say what the tool itself says, made by
# scripts/make-docs.py from the built tool: docs/rows.md from
# `tavrin rows --json`, docs/options.md from `tavrin --help`. They are
# committed; make test fails (Docs.PagesAreWhatTheToolSays) when one is not
# what the tool says, and names this target.

.PHONY: docs
help::
	@$(HELP_ROW) docs "$(BUILD_DIR)" "docs/rows.md and docs/options.md, remade from the built tool"
	@$(HELP_INSTALLS) build docs

docs: build
	@scripts/ensure-deps.sh docs
	python3 scripts/make-docs.py --tool $(TAVRIN_TOOL) --out docs
