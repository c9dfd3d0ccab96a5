# make demo: builds the library and the tavrin tool in the main tree (them
# alone, none of the test suites the tree may hold), then runs the tool on
# the shipped samples in examples/ and shows the verdicts, the filtered
# output, the explanations, the locale's default encoding and --json. A
# banned line makes the tool exit with 1, which is the expected answer here;
# only an unexpected error (exit 2) fails the demo. Every command names its
# encoding or its locale, so the demo shows the same in any locale.

TAVRIN_TOOL = $(BUILD_DIR)/tools/tavrin

# A shell function for the recipe lines: `tavrin_demo [VAR=VALUE...] ARG...`
# shows the command, runs it (with those variables set) and says what its
# exit status means. With expect_error=1 set, exit status 2 is the answer
# being shown.
TAVRIN_DEMO = tavrin_demo() { \
    local shown= a rc=0; local -a vars=(); \
    while [[ $$1 == [A-Z]*=* ]]; do vars+=("$$1"); shown="$$shown$$1 "; shift; done; \
    shown="$${shown}tavrin"; \
    for a in "$$@"; do \
      case $$a in *[!A-Za-z0-9_./=-]*) shown="$$shown '$$a'" ;; *) shown="$$shown $$a" ;; esac; \
    done; \
    echo; echo "\$$ $$shown"; \
    env "$${vars[@]}" $(TAVRIN_TOOL) "$$@" || rc=$$?; \
    case $$rc in \
      0) echo "(exit status 0: every line clean)" ;; \
      1) echo "(exit status 1: some line banned)" ;; \
      2) if [ "$${expect_error:-}" = 1 ]; then echo "(exit status 2: an error, as it should be)"; \
         else echo "(exit status 2: error)"; return 2; fi ;; \
      *) echo "(exit status $$rc: error)"; return $$rc ;; \
    esac; \
  }; tavrin_demo

.PHONY: demo
help::
	@$(HELP_ROW) demo "$(BUILD_DIR)" "builds the library and the tool, then screens the samples in examples/"
	@$(HELP_INSTALLS) build

demo:
	@scripts/ensure-deps.sh build
	$(CONFIGURE_MAIN)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tavrin tavrin_tool
	@echo; echo "== The GBK sample (CRLF line endings), shown in UTF-8 for this terminal:"
	@iconv -f GBK -t UTF-8 examples/chat-gbk.txt | tr -d '\r' | cat -n
	@$(TAVRIN_DEMO) check -e gbk examples/chat-gbk.txt
	@echo; echo "== The UTF-8 sample, emoji included:"
	@cat -n examples/chat-utf8.txt
	@$(TAVRIN_DEMO) check -e utf-8 examples/chat-utf8.txt
	@echo; echo "== Filtered: clean lines exactly as they came in, banned lines replaced whole:"
	@$(TAVRIN_DEMO) filter -e utf-8 examples/chat-utf8.txt
	@echo; echo "== Why was a line rejected? Every row found, with the byte offset of its first occurrence."
	@echo "== Here 日 (C8 D5) spans two characters of the GBK text: 比 (B1 C8) and 这 (D5 E2)."
	@$(TAVRIN_DEMO) explain -e utf-8 --text '这个方案比这个好多了。'
	@$(TAVRIN_DEMO) explain -e gbk --text 'Meet me in Essex, on the AVENUE'
	@echo; echo "== Without -e the input is read in the locale's encoding: UTF-8 in a UTF-8 locale (a"
	@echo "== terminal's), the bytes as they are in the C locale (a script's) or a GBK locale."
	@$(TAVRIN_DEMO) LC_ALL=C.UTF-8 check --text '操你妈的'
	@$(TAVRIN_DEMO) LC_ALL=C check --text '操你妈的'
	@echo; echo "== So in a UTF-8 locale a GBK file is an error, never a wrong clean; -e gbk reads it:"
	@expect_error=1; $(TAVRIN_DEMO) LC_ALL=C.UTF-8 check examples/chat-gbk.txt
	@echo; echo "== JSON Lines for log pipelines: UTF-8 data as text, other bytes (GBK) in base64."
	@$(TAVRIN_DEMO) explain --json -e utf-8 --text 'Meet me in Essex' --text '这个方案比这个好多了。'
