#pragma once
// A small drawing-agnostic editor for one block of UTF-8 text. It keeps the
// line breaks, the selection and the caret; everything that touches the text,
// measuring, drawing or scrolling goes through the client's callbacks.
// Positions are byte offsets; rectangles are left, bottom, right, top with y up.
#include <vector>

struct OGLE_Rec;

struct OGLE_Callbacks {
	void (*GetVisibleBounds)(OGLE_Rec*, float rect[4]);
	void (*GetLogicalBounds)(OGLE_Rec*, float rect[4]);
	void (*SetLogicalHeight)(OGLE_Rec*, float height);
	void (*ScrollTo)(OGLE_Rec*, float offset[2]);
	void (*GetText)(OGLE_Rec*, const char** begin, const char** end);
	void (*ReplaceText)(OGLE_Rec*, int start, int end, const char* new_begin, const char* new_end);
	float (*GetLineHeight)(OGLE_Rec*);
	float (*MeasureString)(OGLE_Rec*, const char* begin, const char* end);
	int (*FitStringFwd)(OGLE_Rec*, const char* begin, const char* end, float width);
	int (*FitStringRev)(OGLE_Rec*, const char* begin, const char* end, float width);
	void (*DrawString)(OGLE_Rec*, const char* begin, const char* end, float x, float y);
	void (*DrawSelection)(OGLE_Rec*, float rect[4]);
	const char* (*WordBreak)(OGLE_Rec*, const char* begin, const char* end);
	const char* (*MBCS_Next)(OGLE_Rec*, const char* p);
	int (*MBCS_NextPos)(OGLE_Rec*, int position);
	int (*MBCS_PrevPos)(OGLE_Rec*, int position);
};

struct OGLE_Rec {
	OGLE_Callbacks cb;
	void* ref;
	std::vector<int> line_starts;
	int sel_start;
	int sel_end;
	int caret_at_end;    // 1: the caret is sel_end, 0: it is sel_start
	float remembered_x;  // kept through vertical moves; -1 unset
};

OGLE_Rec* OGLE_Create(const OGLE_Callbacks* callbacks, void* ref);
void OGLE_Destroy(OGLE_Rec* rec);
void* OGLE_GetRef(OGLE_Rec* rec);
void OGLE_GetSelection(OGLE_Rec* rec, int* start, int* end);
void OGLE_SetSelection(OGLE_Rec* rec, int start, int end);
void OGLE_Draw(OGLE_Rec* rec, int draw_caret);
void OGLE_Click(OGLE_Rec* rec, float x, float y, int extend);
void OGLE_Drag(OGLE_Rec* rec, float x, float y);
void OGLE_Key(OGLE_Rec* rec, char key, int shift);
void OGLE_Key_MBCS(OGLE_Rec* rec, int byte_count, const char* bytes, int shift);
void OGLE_ReplaceText(OGLE_Rec* rec, int start, int end, const char* new_begin, const char* new_end);
void OGLE_Repaginate(OGLE_Rec* rec);
void OGLE_RevealSelection(OGLE_Rec* rec);

// UTF-8 stepping over [begin, end): a continuation byte is 0x80..0xBF.
// Start of the character after the one that holds p.
const char* OGLE_utf8_next(const char* begin, const char* end, const char* p);
// Start of the next character after position pos; pos + 1 at or past the end.
int OGLE_utf8_next_pos(const char* begin, const char* end, int pos);
// Start of the character before the one that holds pos; -1 for pos 0.
int OGLE_utf8_prev_pos(const char* begin, const char* end, int pos);

// Class face: the engine with virtual operations in place of callbacks 0-12;
// callbacks 13-15 step UTF-8 over the text the object gives.
class OGLE {
public:
	OGLE();
	virtual ~OGLE();

	virtual void GetVisibleBounds(float rect[4]) = 0;
	virtual void GetLogicalBounds(float rect[4]) = 0;
	virtual void SetLogicalHeight(float height) = 0;
	virtual void ScrollTo(float offset[2]) = 0;
	virtual void GetText(const char** begin, const char** end) = 0;
	virtual void ReplaceText(int start, int end, const char* new_begin, const char* new_end) = 0;
	virtual float GetLineHeight() = 0;
	virtual float MeasureString(const char* begin, const char* end) = 0;
	virtual int FitStringFwd(const char* begin, const char* end, float width) = 0;
	virtual int FitStringRev(const char* begin, const char* end, float width) = 0;
	virtual void DrawString(const char* begin, const char* end, float x, float y) = 0;
	virtual void DrawSelection(float rect[4]) = 0;
	virtual const char* WordBreak(const char* begin, const char* end) = 0;

	void Draw(int draw_caret) { OGLE_Draw(rec_, draw_caret); }
	void Click(float x, float y, int extend) { OGLE_Click(rec_, x, y, extend); }
	void Drag(float x, float y) { OGLE_Drag(rec_, x, y); }
	void Key(char key, int shift) { OGLE_Key(rec_, key, shift); }
	void Key_MBCS(int byte_count, char* bytes, int shift) { OGLE_Key_MBCS(rec_, byte_count, bytes, shift); }
	void Repaginate() { OGLE_Repaginate(rec_); }
	void RevealSelection() { OGLE_RevealSelection(rec_); }
	void GetSelection(int* start, int* end) { OGLE_GetSelection(rec_, start, end); }
	void SetSelection(int start, int end) { OGLE_SetSelection(rec_, start, end); }
	void DoReplaceText(int start, int end, const char* b, const char* e) { OGLE_ReplaceText(rec_, start, end, b, e); }

	OGLE(const OGLE&) = delete;
	OGLE& operator=(const OGLE&) = delete;

private:
	static void GetVisibleBoundsCB(OGLE_Rec*, float rect[4]);
	static void GetLogicalBoundsCB(OGLE_Rec*, float rect[4]);
	static void SetLogicalHeightCB(OGLE_Rec*, float height);
	static void ScrollToCB(OGLE_Rec*, float offset[2]);
	static void GetTextCB(OGLE_Rec*, const char** begin, const char** end);
	static void ReplaceTextCB(OGLE_Rec*, int start, int end, const char* new_begin, const char* new_end);
	static float GetLineHeightCB(OGLE_Rec*);
	static float MeasureStringCB(OGLE_Rec*, const char* begin, const char* end);
	static int FitStringFwdCB(OGLE_Rec*, const char* begin, const char* end, float width);
	static int FitStringRevCB(OGLE_Rec*, const char* begin, const char* end, float width);
	static void DrawStringCB(OGLE_Rec*, const char* begin, const char* end, float x, float y);
	static void DrawSelectionCB(OGLE_Rec*, float rect[4]);
	static const char* WordBreakCB(OGLE_Rec*, const char* begin, const char* end);
	static const char* MBCS_NextCB(OGLE_Rec*, const char* p);
	static int MBCS_NextPosCB(OGLE_Rec*, int position);
	static int MBCS_PrevPosCB(OGLE_Rec*, int position);

	OGLE_Rec* rec_;
};
