# make demo: builds the library and the tavrin tool, then runs the tool on
# the shipped samples in examples/ and shows the verdicts, the filtered
# output and the explanations. A banned line makes the tool exit with 1,
# which is the expected answer here; only an error (exit 2) fails the demo.

TAVRIN_TOOL = $(BUILD_DIR)/tools/tavrin

# A shell function for the recipe lines: `tavrin_demo ARG...` shows the
# command, runs it and says what its exit status means.
TAVRIN_DEMO = tavrin_demo() { \
    local shown= a rc=0; \
    for a in "$$@"; do \
      case $$a in *[!A-Za-z0-9_./=-]*) shown="$$shown '$$a'" ;; *) shown="$$shown $$a" ;; esac; \
    done; \
    echo; echo "\$$ tavrin$$shown"; \
    $(TAVRIN_TOOL) "$$@" || rc=$$?; \
    case $$rc in \
      0) echo "(exit status 0: every line clean)" ;; \
      1) echo "(exit status 1: some line banned)" ;; \
      *) echo "(exit status $$rc: error)"; return $$rc ;; \
    esac; \
  }; tavrin_demo

.PHONY: demo
demo: build
	@echo; echo "== The GBK sample (CRLF line endings), shown in UTF-8 for this terminal:"
	@iconv -f GBK -t UTF-8 examples/chat-gbk.txt | tr -d '\r' | cat -n
	@$(TAVRIN_DEMO) check examples/chat-gbk.txt
	@echo; echo "== The UTF-8 sample, emoji included:"
	@cat -n examples/chat-utf8.txt
	@$(TAVRIN_DEMO) check --encoding utf-8 examples/chat-utf8.txt
	@echo; echo "== Filtered: clean lines exactly as they came in, banned lines replaced whole:"
	@$(TAVRIN_DEMO) filter --encoding utf-8 examples/chat-utf8.txt
	@echo; echo "== Why was a line rejected? Every row found, with the byte offset of its first occurrence."
	@echo "== Here 日 (C8 D5) spans two characters of the GBK text: 比 (B1 C8) and 这 (D5 E2)."
	@$(TAVRIN_DEMO) explain --encoding utf-8 --text '这个方案比这个好多了。'
	@$(TAVRIN_DEMO) explain --text 'Meet me in Essex, on the AVENUE'
